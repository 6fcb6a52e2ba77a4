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
thread_local HeldDiagnostics* t_held = nullptr;
}  // namespace

std::string Printable(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(byte));
            out += hex;
        }
    }
    return out;
}

HeldDiagnostics::HeldDiagnostics() : outer_(t_held) { t_held = this; }

HeldDiagnostics::~HeldDiagnostics() { t_held = outer_; }

void Diagnostic(const std::string& line)
{
    if (t_held != nullptr) {
        t_held->lines_.push_back(line);
        return;
    }
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
