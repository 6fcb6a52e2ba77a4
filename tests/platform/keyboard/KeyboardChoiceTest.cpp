// The choice between uinput and XTest when neither can be used, and what the
// error then says. (With a display, XTest is chosen: the X11 typing tests.)

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "platform/linux/SystemKeyboard.h"

namespace {

// Runs ChooseSystemKeyboard and returns its error text ("" when it chose).
std::string ChoiceError(const std::string& device, const char* display)
{
    try {
        auto keyboard = platform::ChooseSystemKeyboard(device, display);
        return "";
    } catch (const std::runtime_error& e) {
        return e.what();
    }
}

class KeyboardChoice : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const char* display = std::getenv("DISPLAY")) {
            savedDisplay_ = display;
            hadDisplay_ = true;
        }
        unsetenv("DISPLAY");
    }
    void TearDown() override
    {
        if (hadDisplay_) {
            setenv("DISPLAY", savedDisplay_.c_str(), 1);
        }
    }

private:
    std::string savedDisplay_;
    bool hadDisplay_ = false;
};

TEST_F(KeyboardChoice, NeitherBackEndNamesBothAndWhatEachNeeds)
{
    const std::string error = ChoiceError("/nonexistent/uinput", nullptr);
    EXPECT_EQ(error,
              "No keyboard to type with: uinput needs write access to /nonexistent/uinput (cannot open "
              "/nonexistent/uinput for writing: No such file or directory); XTest needs an X display (DISPLAY is "
              "not set)");
}

TEST_F(KeyboardChoice, ANamedDisplayThatCannotBeOpenedIsNamed)
{
    // No X server listens on display 1999 (the socket would be /tmp/.X11-unix/X1999).
    const std::string error = ChoiceError("/nonexistent/uinput", ":1999");
    EXPECT_NE(error.find("uinput needs write access to /nonexistent/uinput"), std::string::npos) << error;
    EXPECT_NE(error.find("XTest needs an X display (cannot open the X display \":1999\")"), std::string::npos) << error;
}

// A file that opens for writing but is no uinput device: the keyboard cannot
// be made there, and the error says so instead of claiming success.
TEST_F(KeyboardChoice, AWritableFileThatIsNoUinputDeviceIsRefused)
{
    const std::string path = ::testing::TempDir() + "not-uinput-" + std::to_string(getpid());
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    close(fd);
    const std::string error = ChoiceError(path, nullptr);
    unlink(path.c_str());
    EXPECT_NE(error.find("cannot create a virtual keyboard through " + path + ": "), std::string::npos) << error;
    EXPECT_NE(error.find("DISPLAY is not set"), std::string::npos) << error;
}

TEST_F(KeyboardChoice, TheSystemKeyboardOnThisMachineChoosesOrExplains)
{
    // /dev/uinput is writable only on some machines; without it and without
    // DISPLAY the system keyboard must fail with the full explanation.
    if (access(platform::kUinputPath, W_OK) == 0) {
        GTEST_SKIP() << platform::kUinputPath << " is writable here";
    }
    try {
        platform::CreateSystemKeyboard();
        FAIL() << "a keyboard was made with neither uinput nor a display";
    } catch (const std::runtime_error& e) {
        const std::string error = e.what();
        EXPECT_NE(error.find("uinput needs write access to /dev/uinput ("), std::string::npos) << error;
        EXPECT_NE(error.find("XTest needs an X display (DISPLAY is not set)"), std::string::npos) << error;
    }
}

}  // namespace
