#pragma once
// The diagnostic stream: one line per event worth telling an administrator
// (a refused text, a failed open with its device path and errno text, an
// exception that left an event handler). Standard error, and on Windows also
// OutputDebugStringA. Nothing is written here in normal operation.

#include <functional>
#include <string>
#include <vector>

namespace platform {

void Diagnostic(const std::string& line);

// A text quoted on one diagnostic line: every byte outside printable ASCII
// (0x20-0x7E) written as \xHH, so that a device name, a setting or part of
// a frame cannot break the line or give a terminal a control sequence
// (0x80-0x9F are controls too).
std::string Printable(const std::string& text);

// Tests capture the stream; pass an empty function to restore the default.
void SetDiagnosticSink(std::function<void(const std::string&)> sink);

// While one exists, the lines the creating thread writes are kept here
// instead of being written, so that a caller repeating an attempt can tell
// them once rather than at every try. Other threads write as usual. Scopes
// nest: the innermost one keeps the lines.
class HeldDiagnostics {
public:
    HeldDiagnostics();
    ~HeldDiagnostics();
    HeldDiagnostics(const HeldDiagnostics&) = delete;
    HeldDiagnostics& operator=(const HeldDiagnostics&) = delete;

    const std::vector<std::string>& Lines() const { return lines_; }

private:
    friend void Diagnostic(const std::string& line);

    // A text quoted on one diagnostic line: every byte outside printable ASCII
    // (0x20-0x7E) written as \xHH, so that a device name, a setting or part of
    // a frame cannot break the line or give a terminal a control sequence
    // (0x80-0x9F are controls too).
    std::string Printable(const std::string& text);
    std::vector<std::string> lines_;
    HeldDiagnostics* outer_;
};

}  // namespace platform
