#pragma once
// The framework's exception classes: every failure in tarvel is an exception
// carrying a message text (8-bit, in the system's code page).

#include <exception>
#include <string>

class Exception : public std::exception {
public:
    explicit Exception(std::string message, int helpContext = 0)
        : message_(std::move(message)), helpContext_(helpContext)
    {}

    const std::string& Message() const noexcept { return message_; }
    int HelpContext() const noexcept { return helpContext_; }
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
    int helpContext_;
};

// The conversion error: raised by the integer text conversions and by
// copying a persistent object into an object of another class.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// "'%s' is not a valid integer value", translated, with the text in place of %s.
[[noreturn]] void RaiseInvalidInteger(const std::string& text);
