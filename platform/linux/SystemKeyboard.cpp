#include "platform/linux/SystemKeyboard.h"

#include <stdexcept>

namespace platform {

std::unique_ptr<IKeyboard> ChooseSystemKeyboard(const std::string& devicePath, const char* displayName)
{
    std::string uinputFailure;
    if (auto keyboard = OpenUinputKeyboard(devicePath, uinputFailure)) {
        return keyboard;
    }
    std::string xtestFailure;
    if (auto keyboard = OpenXTestKeyboard(displayName, xtestFailure)) {
        return keyboard;
    }
    throw std::runtime_error("No keyboard to type with: uinput needs write access to " + devicePath + " (" +
                             uinputFailure + "); XTest needs an X display (" + xtestFailure + ")");
}

std::unique_ptr<IKeyboard> CreateSystemKeyboard() { return ChooseSystemKeyboard(kUinputPath, nullptr); }

}  // namespace platform
