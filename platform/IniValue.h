#pragma once
// What both INI back ends do to a value before the file gets it, so that
// reading gives back exactly the text that was written.
//
// Reading an INI value leaves out the blanks (bytes 1 to 32) at either end
// and one pair of enclosing quotes ("..." or '...'). A value that starts or
// ends with a blank, or that starts and ends with the same quote, is written
// inside double quotes, which the reading removes again. A line break would
// end the value's line (the rest becoming lines of the file of their own) and
// a zero byte would end the text: such values are refused.

#include <string>

namespace platform {

// The text as the file must hold it so that reading gives back value.
std::string ProtectIniValue(const std::string& value);

// Why value cannot be stored in an INI file, or empty when it can.
std::string IniValueProblem(const std::string& value);

}  // namespace platform
