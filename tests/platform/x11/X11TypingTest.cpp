// Typing through XTest into a real window: an Xvfb of the test's own, the
// receiver window on it, and the typer with its real 20 ms pauses.

#include <gtest/gtest.h>

// After GoogleTest: Xlib's macros (None, Bool) would break its headers.
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "X11Processes.h"
#include "app/CardFormats.h"
#include "app/KeyTyper.h"
#include "app/Settings.h"
#include "platform/Diagnostics.h"
#include "platform/linux/SystemKeyboard.h"
#include "tests/support/TypedCards.h"

namespace {

class X11Typing : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = tarvel_test::Xvfb::Start(startError_); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override
    {
        ASSERT_NE(server_, nullptr) << startError_;
        ResetAppSettings();
        SetPause(nullptr);
        platform::SetDiagnosticSink([this](const std::string& line) { diagnostics_.push_back(line); });
    }

    void TearDown() override
    {
        platform::SetDiagnosticSink({});
        SetKeyboard(nullptr);
        ResetAppSettings();
    }

    const std::string& DisplayName() const { return server_->Display(); }

    // What a machine without uinput gets: XTest on the display.
    std::unique_ptr<platform::IKeyboard> Keyboard()
    {
        auto keyboard = platform::ChooseSystemKeyboard("/nonexistent/uinput", DisplayName().c_str());
        EXPECT_EQ(keyboard->Name(), "XTest");
        return keyboard;
    }

    // Starts a receiver window, runs `type`, and returns what the window got.
    std::string Received(const std::function<void()>& type)
    {
        std::string error;
        auto receiver = tarvel_test::Receiver::Start(DisplayName(), error);
        if (!receiver) {
            ADD_FAILURE() << error;
            return {};
        }
        type();
        const std::string text = receiver->Finish(error);
        EXPECT_EQ(error, "");
        return text;
    }

    std::vector<std::string> diagnostics_;

private:
    static inline std::unique_ptr<tarvel_test::Xvfb> server_;
    static inline std::string startError_;
};

TEST_F(X11Typing, CardsArriveInTheWindowAsTyped)
{
    auto keyboard = Keyboard();
    SetKeyboard(keyboard.get());
    for (const tarvel_test::TypedCard& c : tarvel_test::CardsToType()) {
        SCOPED_TRACE(c.what);
        CardFormat = c.format;
        FillZeroLength = c.fill;
        AutoEnter = c.autoEnter;
        EXPECT_EQ(Received([&] { TypeText(ConvertFrame(c.frame)); }), c.expected);
    }
    EXPECT_EQ(diagnostics_, std::vector<std::string>{});
}

// A keyboard map without Tab and minus, as a bare X server may have: the
// keyboard lends those keysyms free key codes and gives them back when it
// is destroyed.
TEST_F(X11Typing, KeysMissingFromTheMapAreLentFreeKeyCodes)
{
    Display* display = XOpenDisplay(DisplayName().c_str());
    ASSERT_NE(display, nullptr);
    struct Removed {
        KeyCode keycode;
        std::vector<KeySym> keysyms;
    };
    std::vector<Removed> removed;
    // Put the map back however the test ends.
    struct PutBack {
        Display* display;
        std::vector<Removed>& removed;
        ~PutBack()
        {
            for (Removed& r : removed) {
                XChangeKeyboardMapping(display, r.keycode, static_cast<int>(r.keysyms.size()), r.keysyms.data(), 1);
            }
            XSync(display, False);
            XCloseDisplay(display);
        }
    } putBack{display, removed};
    for (const KeySym keysym : {KeySym{XK_Tab}, KeySym{XK_minus}}) {
        const KeyCode keycode = XKeysymToKeycode(display, keysym);
        ASSERT_NE(keycode, 0) << XKeysymToString(keysym);
        int perKeycode = 0;
        KeySym* map = XGetKeyboardMapping(display, keycode, 1, &perKeycode);
        ASSERT_NE(map, nullptr);
        removed.push_back({keycode, std::vector<KeySym>(map, map + perKeycode)});
        XFree(map);
        std::vector<KeySym> none(static_cast<std::size_t>(perKeycode), NoSymbol);
        XChangeKeyboardMapping(display, keycode, perKeycode, none.data(), 1);
    }
    XSync(display, False);

    auto keyboard = Keyboard();
    SetKeyboard(keyboard.get());
    CardFormat = 10;
    FillZeroLength = 11;
    EXPECT_EQ(Received([] { TypeText("-2147483648"); }), "-21\t47483648\n");
    SetKeyboard(nullptr);
    keyboard.reset();

    Display* fresh = XOpenDisplay(DisplayName().c_str());
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(XKeysymToKeycode(fresh, XK_minus), 0) << "the lent key code was not given back";
    EXPECT_EQ(XKeysymToKeycode(fresh, XK_Tab), 0) << "the lent key code was not given back";
    XCloseDisplay(fresh);
}

// Characters that are not keyboard characters (a control code, a letter
// beyond f, a blank) are never typed, and each refusal is reported.
TEST_F(X11Typing, OnlyKeyboardCharactersAreTyped)
{
    auto keyboard = Keyboard();
    const std::string characters = {'1', '\x1B', 'x', ' ', 'A', '2'};
    EXPECT_EQ(Received([&] {
                  for (const char c : characters)
                      keyboard->Type(c);
              }),
              "12");
    ASSERT_EQ(diagnostics_.size(), 4u);
    EXPECT_NE(diagnostics_[0].find("0x1B"), std::string::npos) << diagnostics_[0];
    EXPECT_NE(diagnostics_[1].find("\"x\""), std::string::npos) << diagnostics_[1];
    EXPECT_NE(diagnostics_[2].find("0x20"), std::string::npos) << diagnostics_[2];
    EXPECT_NE(diagnostics_[3].find("\"A\""), std::string::npos) << diagnostics_[3];
}

}  // namespace
