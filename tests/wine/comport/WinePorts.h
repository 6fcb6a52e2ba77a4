#pragma once
// COM1 and COM2 under scripts/wine-env.sh: the two ends of a pair of
// pseudo-terminals, so that bytes written into COM2 arrive on COM1. Opened
// with kernel32 directly.

#include <windows.h>

#include <cstdlib>
#include <string>

namespace wine_test {

// Whether COM1 and COM2 are the pair of scripts/wine-env.sh (elsewhere COM1
// may be a real port, or none, with nothing on COM2).
inline bool WinePortsPaired() { return std::getenv("TARVEL_WINE_PORTS") != nullptr; }

class WinePort {
public:
    WinePort(const char* name, DWORD flags)
        : handle_(::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr))
    {}
    ~WinePort() { Close(); }
    WinePort(const WinePort&) = delete;
    WinePort& operator=(const WinePort&) = delete;

    void Close()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }
    bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return handle_; }

    // Writes all of bytes (the port opened without FILE_FLAG_OVERLAPPED).
    bool Write(const std::string& bytes)
    {
        DWORD written = 0;
        return ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
               written == bytes.size();
    }

private:
    HANDLE handle_;
};

}  // namespace wine_test
