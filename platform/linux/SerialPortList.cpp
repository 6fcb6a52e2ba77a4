// The window's list of serial devices, from the devices found and the links
// in a by-id folder (see platform/SerialPortList.h).

#include "platform/SerialPortList.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <string_view>
#include <system_error>

namespace platform {
namespace {

namespace fs = std::filesystem;

// The file a path leads to after every link; a path that leads nowhere (or
// cannot be read) stands for itself, made absolute and tidy.
std::string Resolved(const fs::path& path)
{
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(path, error);
    if (error)
        resolved = path.lexically_normal();
    return resolved.string();
}

// A device by the name it has under /dev ("ttyUSB0", "pts/3"), else by its
// whole path.
std::string DeviceName(const std::string& path)
{
    constexpr std::string_view dev = "/dev/";
    if (path.size() > dev.size() && path.compare(0, dev.size(), dev) == 0)
        return path.substr(dev.size());
    return path;
}

bool IsLink(const fs::path& path)
{
    std::error_code error;
    return fs::is_symlink(fs::symlink_status(path, error));
}

// Names in the order a person counts: "ttyUSB2" before "ttyUSB10". Runs of
// digits compare by their value, everything else character by character.
bool NaturalLess(std::string_view a, std::string_view b)
{
    auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && digit(a[ei]))
                ++ei;
            while (ej < b.size() && digit(b[ej]))
                ++ej;
            std::string_view na = a.substr(i, ei - i), nb = b.substr(j, ej - j);
            while (na.size() > 1 && na.front() == '0')
                na.remove_prefix(1);
            while (nb.size() > 1 && nb.front() == '0')
                nb.remove_prefix(1);
            if (na.size() != nb.size())
                return na.size() < nb.size();
            if (na != nb)
                return na < nb;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

// The group a device's file name puts it in: USB serial adapters, then USB
// modems (most readers are one or the other), then the built-in UARTs, then
// everything else the system found.
int Group(const std::string& fileName)
{
    constexpr std::string_view prefixes[] = {"ttyUSB", "ttyACM", "ttyS"};
    for (int g = 0; g < 3; ++g) {
        const std::string_view prefix = prefixes[g];
        if (fileName.size() > prefix.size() && fileName.compare(0, prefix.size(), prefix) == 0 &&
            std::all_of(fileName.begin() + static_cast<std::ptrdiff_t>(prefix.size()), fileName.end(),
                        [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }))
            return g;
    }
    return 3;
}

struct Device {
    std::string path;      // as found
    std::string resolved;  // the file it leads to
    int group = 3;
};

}  // namespace

std::vector<SerialPortChoice> ArrangeSerialPorts(const std::vector<std::string>& devices, const std::string& byIdFolder)
{
    std::vector<Device> found;
    std::set<std::string> seen;
    for (const std::string& path : devices) {
        if (path.empty())
            continue;
        Device d{path, Resolved(path), Group(fs::path(path).filename().string())};
        if (seen.insert(d.resolved).second)
            found.push_back(std::move(d));
    }
    std::stable_sort(found.begin(), found.end(), [](const Device& a, const Device& b) {
        if (a.group != b.group)
            return a.group < b.group;
        return NaturalLess(DeviceName(a.path), DeviceName(b.path));
    });

    // The links in the folder that lead to a device found.
    struct Link {
        std::string name;
        std::string path;
        const Device* device;
    };
    std::vector<Link> links;
    std::error_code error;
    if (!byIdFolder.empty()) {
        for (fs::directory_iterator it(byIdFolder, error), end; !error && it != end; it.increment(error)) {
            if (!IsLink(it->path()))
                continue;
            const std::string target = Resolved(it->path());
            const auto device = std::find_if(found.begin(), found.end(),
                                             [&](const Device& d) { return d.resolved == target; });
            if (device != found.end())
                links.push_back({it->path().filename().string(), it->path().string(), &*device});
        }
    }
    std::sort(links.begin(), links.end(), [](const Link& a, const Link& b) { return NaturalLess(a.name, b.name); });

    std::vector<SerialPortChoice> choices;
    for (const Link& link : links)
        choices.push_back({link.name + " -> " + DeviceName(link.device->resolved), link.path});
    for (const Device& d : found) {
        std::string shown = DeviceName(d.path);
        if (IsLink(d.path))
            shown += " -> " + DeviceName(d.resolved);
        choices.push_back({std::move(shown), d.path});
    }
    if (choices.empty())
        choices.push_back({"COM1", "COM1"});
    return choices;
}

std::vector<SerialPortChoice> SerialPortsPresent(const SerialPortSearch& search)
{
    return ArrangeSerialPorts(search.devices ? search.devices() : std::vector<std::string>{}, search.byIdFolder);
}

}  // namespace platform
