#include "platform/linux/PosixSerialPath.h"

#include <cstdint>

namespace platform::posix {
namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";  // backslash, backslash, full stop, backslash

bool IsComName(const std::string& name, std::uint32_t& number)
{
    if (name.size() < 4 || name.size() > 12) {
        return false;
    }
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(name[0]) != 'c' || lower(name[1]) != 'o' || lower(name[2]) != 'm') {
        return false;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(name[i] - '0');
    }
    if (value == 0 || value > 0xFFFFFFFFu) {
        return false;
    }
    number = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace

std::string DeviceFileForPort(const std::string& windowsPath)
{
    std::string name = windowsPath;
    if (name.rfind(kDevicePrefix, 0) == 0) {
        name.erase(0, sizeof kDevicePrefix - 1);
    }
    if (name.empty()) {
        return {};
    }
    if (name[0] == '/') {
        return name;
    }
    std::uint32_t number = 0;
    if (IsComName(name, number)) {
        return "/dev/ttyS" + std::to_string(number - 1);
    }
    return "/dev/" + name;
}

}  // namespace platform::posix
