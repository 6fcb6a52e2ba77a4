#pragma once
// The two Linux keyboard back ends and the choice between them. Tests use
// these to name the device and the display instead of /dev/uinput and DISPLAY.

#include <memory>
#include <string>

#include "platform/Keyboard.h"

namespace platform {

inline constexpr const char* kUinputPath = "/dev/uinput";

// A virtual keyboard created through uinput at devicePath. When the device
// cannot be opened for writing or the keyboard cannot be created, returns
// nullptr and says why in `failure`.
std::unique_ptr<IKeyboard> OpenUinputKeyboard(const std::string& devicePath, std::string& failure);

// The XTest keyboard of the X display displayName (nullptr: the one DISPLAY
// names). When the display cannot be opened or has no XTEST extension,
// returns nullptr and says why in `failure`.
std::unique_ptr<IKeyboard> OpenXTestKeyboard(const char* displayName, std::string& failure);

// uinput when devicePath can be used, else XTest on displayName; throws
// std::runtime_error naming both and what each needs when neither can.
std::unique_ptr<IKeyboard> ChooseSystemKeyboard(const std::string& devicePath, const char* displayName);

}  // namespace platform
