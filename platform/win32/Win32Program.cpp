// The program's own facts on Windows: its window always exists, and the name
// of its executable.

#include <windows.h>

#include <string>

#include "platform/MainWindow.h"

namespace platform {

bool CommandLineRunsWithoutWindow() { return false; }

std::string ExecutableFileName()
{
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return "tarvel.exe";
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace platform
