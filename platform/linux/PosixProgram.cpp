// The program's own facts on Linux: it works without a window from the
// command line, and the name of its executable.

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/MainWindow.h"

namespace platform {

bool CommandLineRunsWithoutWindow() { return true; }

std::string ExecutableFileName()
{
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return "tarvel";
    return exe.filename().string();
}

}  // namespace platform
