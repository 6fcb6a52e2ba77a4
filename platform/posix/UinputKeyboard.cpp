// Keys through a virtual input device of the kernel (uinput), created with
// libevdev. Works under X11, Wayland and on the console alike. The device is
// made once, when the keyboard is created, and lives as long as it.

#include <fcntl.h>
#include <linux/input.h>
#include <unistd.h>

#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>

#include <cerrno>
#include <cstring>

#include "platform/Diagnostics.h"
#include "platform/posix/KeyMap.h"
#include "platform/posix/SystemKeyboard.h"

namespace platform {
namespace {

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

    void KeyDown(std::uint8_t vk) override { Send(vk, 1); }
    void KeyUp(std::uint8_t vk) override { Send(vk, 0); }
    std::string Name() const override { return "uinput"; }

private:
    void Send(std::uint8_t vk, int value)
    {
        const KeyMapping* key = FindKeyMapping(vk);
        if (key == nullptr) {
            if (value == 1) {
                Diagnostic("uinput: no key for virtual-key code " + VkText(vk) + ", not pressed");
            }
            return;
        }
        int rc = libevdev_uinput_write_event(device_, EV_KEY, key->evdevCode, value);
        if (rc == 0) {
            rc = libevdev_uinput_write_event(device_, EV_SYN, SYN_REPORT, 0);
        }
        // One line when writing starts to fail, not one per key.
        if (rc < 0 && !failing_) {
            Diagnostic("uinput: cannot write a key event to the virtual keyboard: " + std::string(std::strerror(-rc)));
        }
        failing_ = rc < 0;
    }

    int fd_;
    libevdev_uinput* device_;
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
    for (const KeyMapping& key : KeyMappings()) {
        libevdev_enable_event_code(description, EV_KEY, key.evdevCode, nullptr);
    }

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
