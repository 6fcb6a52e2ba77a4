#pragma once
// The fixture of the end-to-end tests on Linux: an Xvfb of the suite's own,
// and tarvel kept from /dev/uinput so that it types through XTest into that
// display.

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "tests/e2e/E2eProcesses.h"
#include "tests/platform/x11/X11Processes.h"

namespace tarvel_test {

class TarvelOnXvfb : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server_ = Xvfb::Start(startError_); }
    static void TearDownTestSuite() { server_.reset(); }

    void SetUp() override
    {
        ASSERT_NE(server_, nullptr) << startError_;
        // Where uinput can be used, tarvel types through it, into whatever
        // has the focus on this machine's console, not into the test's Xvfb.
        // These tests are about the XTest back end (the keys must reach a
        // window the test can read), so tarvel runs where /dev/uinput is
        // /dev/null, as on a machine without uinput, and falls back to XTest.
        hideUinput_ = access(kUinput, W_OK) == 0;
        if (hideUinput_ && !CanHide(kUinput))
            GTEST_SKIP() << kUinput << " is writable here and no mount namespace can be made to keep tarvel from it, "
                         << "so tarvel would type through uinput and not into the test's own X display";
    }

    // The suite's display, e.g. ":99".
    static const std::string& DisplayName() { return server_->Display(); }

    // The path tarvel runs without (see SetUp), or "" where there is none.
    const char* HiddenFromTarvel() const { return hideUinput_ ? kUinput : ""; }

private:
    static constexpr const char* kUinput = "/dev/uinput";
    bool hideUinput_ = false;
    static inline std::unique_ptr<Xvfb> server_;
    static inline std::string startError_;
};

}  // namespace tarvel_test
