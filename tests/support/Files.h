#pragma once
// Files for the tests of the stores: which system the build is for, names
// no other test uses at the same time, and whole files read and written as
// bytes.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

namespace tarvel_test {

#ifdef _WIN32
inline constexpr bool OnWindows = true;
#else
inline constexpr bool OnWindows = false;
#endif

// "<random>-<n>": unique within the run, and unlikely to meet another run's.
inline std::string UniqueName()
{
    static std::atomic<unsigned> counter{0};
    return std::to_string(std::random_device{}()) + "-" + std::to_string(++counter);
}

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace tarvel_test
