// Keys through a virtual input device of the kernel (uinput), created with
// libevdev. Works under X11, Wayland and on the console alike. uinput sends
// key positions, so the layout must be known: the X server's keymap and
// group when there is an X display, else the console's keyboard setting
// (/etc/default/keyboard), else US. The device is made once, when the
// keyboard is created, and lives as long as it.

#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <X11/Xlib.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/Diagnostics.h"
#include "platform/linux/SystemKeyboard.h"
#include "platform/linux/XServerKeys.h"
#include "platform/linux/XkbKeys.h"

namespace platform {
namespace {

constexpr const char* kConsoleKeyboardFile = "/etc/default/keyboard";

// Where the layout comes from: the X server, or a keymap fixed at start.
class LayoutSource {
public:
    LayoutSource()
    {
        const char* display = std::getenv("DISPLAY");
        if (display != nullptr && *display != '\0') {
            display_ = XOpenDisplay(nullptr);
            std::string failure;
            if (display_ != nullptr)
                server_ = XServerKeys::Open(display_, failure);
            if (server_ != nullptr)
                return;
        }
        std::ifstream file(kConsoleKeyboardFile);
        std::stringstream text;
        text << file.rdbuf();
        const XkbNames names = ConsoleKeyboardNames(text.str());
        std::string failure;
        fixed_ = XkbKeys::FromNames(names, failure);
        if (!fixed_) {
            Diagnostic("uinput: " + failure + "; typing for the US layout");
            fixed_ = XkbKeys::FromNames({"", "", "us", "", ""}, failure);
        }
    }
    ~LayoutSource()
    {
        server_.reset();
        if (display_ != nullptr)
            XCloseDisplay(display_);
    }
    LayoutSource(const LayoutSource&) = delete;
    LayoutSource& operator=(const LayoutSource&) = delete;

    const XkbKeys* Current(std::uint32_t& group)
    {
        group = 0;
        return server_ ? server_->Current(group) : fixed_.get();
    }

private:
    Display* display_ = nullptr;
    std::unique_ptr<XServerKeys> server_;
    std::unique_ptr<XkbKeys> fixed_;
};

class UinputKeyboard final : public IKeyboard {
public:
    UinputKeyboard(int fd, libevdev_uinput* device) : fd_(fd), device_(device) {}
    ~UinputKeyboard() override
    {
        libevdev_uinput_destroy(device_);
        ::close(fd_);
    }
    UinputKeyboard(const UinputKeyboard&) = delete;
    UinputKeyboard& operator=(const UinputKeyboard&) = delete;

    void Type(char c) override
    {
        std::uint32_t group = 0;
        const XkbKeys* keys = layout_.Current(group);
        const std::uint32_t keysym = KeysymOfCharacter(c);
        const auto stroke = keys != nullptr ? keys->Find(keysym, group) : std::nullopt;
        if (!stroke) {
            // uinput cannot lend a key a new meaning: the character is left out.
            Diagnostic("uinput: no key of the active keyboard layout gives the character " +
                       std::to_string(static_cast<unsigned char>(c)) + ", not typed");
            return;
        }
        for (const auto& [code, value] : EvdevEvents(*stroke))
            Send(code, value);
    }
    std::string Name() const override { return "uinput"; }

    std::string Untypable(const std::string& characters) override
    {
        std::uint32_t group = 0;
        const XkbKeys* keys = layout_.Current(group);
        std::string untypable;
        for (const char c : characters) {
            if ((keys == nullptr || !keys->Find(KeysymOfCharacter(c), group)) && untypable.find(c) == std::string::npos)
                untypable += c;
        }
        return untypable;
    }

private:
    void Send(std::uint16_t code, int value)
    {
        int rc = libevdev_uinput_write_event(device_, EV_KEY, code, value);
        if (rc == 0)
            rc = libevdev_uinput_write_event(device_, EV_SYN, SYN_REPORT, 0);
        // One line when writing starts to fail, not one per key.
        if (rc < 0 && !failing_)
            Diagnostic("uinput: cannot write a key event to the virtual keyboard: " + std::string(std::strerror(-rc)));
        failing_ = rc < 0;
    }

    int fd_;
    libevdev_uinput* device_;
    LayoutSource layout_;
    bool failing_ = false;
};

}  // namespace

std::unique_ptr<IKeyboard> OpenUinputKeyboard(const std::string& devicePath, std::string& failure)
{
    const int fd = ::open(devicePath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        failure = "cannot open " + devicePath + " for writing: " + std::strerror(errno);
        return nullptr;
    }

    libevdev* description = libevdev_new();
    if (description == nullptr) {
        ::close(fd);
        failure = "out of memory";
        return nullptr;
    }
    libevdev_set_name(description, "tarvel keyboard");
    libevdev_set_id_bustype(description, BUS_VIRTUAL);
    libevdev_enable_event_type(description, EV_KEY);
    // Every keyboard key: which ones a character needs depends on the layout.
    for (unsigned code = KEY_ESC; code < BTN_MISC; ++code)
        libevdev_enable_event_code(description, EV_KEY, code, nullptr);

    libevdev_uinput* device = nullptr;
    const int rc = libevdev_uinput_create_from_device(description, fd, &device);
    libevdev_free(description);  // the device keeps what it needs
    if (rc < 0) {
        ::close(fd);
        failure = "cannot create a virtual keyboard through " + devicePath + ": " + std::strerror(-rc);
        return nullptr;
    }
    return std::make_unique<UinputKeyboard>(fd, device);
}

}  // namespace platform
