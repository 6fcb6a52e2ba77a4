#pragma once
// The diagnostic stream: one line per event worth telling an administrator
// (a refused text, a failed open with its device path and errno text, an
// exception that left an event handler). Standard error, and on Windows also
// OutputDebugStringA. Nothing is written here in normal operation.

#include <functional>
#include <string>

namespace platform {

void Diagnostic(const std::string& line);

// Tests capture the stream; pass an empty function to restore the default.
void SetDiagnosticSink(std::function<void(const std::string&)> sink);

}  // namespace platform
