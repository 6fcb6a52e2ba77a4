// The conformance suite on the Win32 back end under Wine: the port is COM1,
// the card reader writes into COM2, the other end of the pseudo-terminal
// pair that scripts/wine-env.sh makes (the bench is unavailable without it).

#include <windows.h>

#include <cstdlib>

#include "tests/platform/conformance/SerialConformance.h"

namespace tarvel_test {
namespace {

class Win32Bench final : public SerialBench {
public:
    Win32Bench()
    {
        if (std::getenv("TARVEL_WINE_PORTS") != nullptr) {
            other_ = ::CreateFileA("\\\\.\\COM2", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
        }
    }
    ~Win32Bench() override
    {
        if (other_ != INVALID_HANDLE_VALUE) {
            ::CloseHandle(other_);
        }
    }
    Win32Bench(const Win32Bench&) = delete;
    Win32Bench& operator=(const Win32Bench&) = delete;

    platform::ISerialApi& Api() override { return platform::SystemSerialApi(); }
    std::string PortPath() override { return "\\\\.\\COM1"; }
    std::string MissingPortPath() override { return "\\\\.\\COM199"; }
    void Send(const std::string& bytes) override
    {
        DWORD written = 0;
        const BOOL ok = ::WriteFile(other_, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        EXPECT_TRUE(ok && written == bytes.size()) << "writing into COM2: error " << ::GetLastError();
    }
    // The pair belongs to the whole Wine session; taking it away here would
    // take it from the tests after this one.
    bool Unplug() override { return false; }
    bool UnderWine() const override { return true; }
    std::string Unavailable() const override
    {
        if (std::getenv("TARVEL_WINE_PORTS") == nullptr) {
            return "COM1 and COM2 are not the pty pair of scripts/wine-env.sh";
        }
        return other_ == INVALID_HANDLE_VALUE ? "COM2 does not open" : "";
    }

private:
    HANDLE other_ = INVALID_HANDLE_VALUE;
};

INSTANTIATE_TEST_SUITE_P(Win32, SerialConformance,
                         ::testing::Values(BenchMaker{"Win32", [] { return std::unique_ptr<SerialBench>(new Win32Bench); }}),
                         BenchName);

}  // namespace
}  // namespace tarvel_test
