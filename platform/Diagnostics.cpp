#include "platform/Diagnostics.h"

#include <cstdio>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {
namespace {
std::mutex g_mutex;
std::function<void(const std::string&)> g_sink;
}  // namespace

void Diagnostic(const std::string& line)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_sink) {
        g_sink(line);
        return;
    }
    std::string text = line + "\n";
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
#ifdef _WIN32
    OutputDebugStringA(text.c_str());
#endif
}

void SetDiagnosticSink(std::function<void(const std::string&)> sink)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_sink = std::move(sink);
}

}  // namespace platform
