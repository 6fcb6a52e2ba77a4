#include "framework/Format.h"

std::string FormatText(const std::string& templ, const std::vector<std::string>& args)
{
    std::string out;
    out.reserve(templ.size() + 16);
    std::size_t next = 0;
    for (std::size_t i = 0; i < templ.size(); ++i) {
        if (templ[i] == '%' && i + 1 < templ.size()) {
            if (templ[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (templ[i + 1] == 's' && next < args.size()) {
                out += args[next++];
                ++i;
                continue;
            }
        }
        out += templ[i];
    }
    return out;
}

std::string FormatInt(const std::string& templ, std::int64_t value)
{
    std::string out;
    out.reserve(templ.size() + 16);
    for (std::size_t i = 0; i < templ.size(); ++i) {
        if (templ[i] == '%' && i + 1 < templ.size()) {
            if (templ[i + 1] == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (templ[i + 1] == 'd') {
                out += std::to_string(value);
                ++i;
                continue;
            }
        }
        out += templ[i];
    }
    return out;
}
