#pragma once
// Lines from a child process's output, as the tests read them.

#include <optional>
#include <string>

namespace tarvel_test {

// Takes the first whole line (without its LF) out of `buffer`, calling
// readMore() to append to it while there is none; nothing once readMore()
// returns false (the time is up, or the output ended).
template <typename ReadMore>
std::optional<std::string> TakeLine(std::string& buffer, ReadMore readMore)
{
    for (;;) {
        if (const auto end = buffer.find('\n'); end != std::string::npos) {
            std::string line = buffer.substr(0, end);
            buffer.erase(0, end + 1);
            return line;
        }
        if (!readMore())
            return std::nullopt;
    }
}

}  // namespace tarvel_test
