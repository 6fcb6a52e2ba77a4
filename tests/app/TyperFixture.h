#pragma once
// A fixture for tests that type: a recording keyboard that is also the pause,
// captured diagnostic lines, and the settings put back afterwards.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/KeyTyper.h"
#include "app/Settings.h"
#include "platform/Diagnostics.h"
#include "platform/fake/FakeKeyboard.h"

namespace tarvel_test {

// A keyboard that asks the program to stop once it has pressed a given
// number of keys, as a SIGTERM arriving while cards are typed does.
class StoppingKeyboard final : public platform::IKeyboard {
public:
    StoppingKeyboard(platform::RecordingKeyboard& record, int stopAfter) : record_(record), left_(stopAfter) {}
    void Type(char c) override
    {
        record_.Type(c);
        if (--left_ == 0)
            RequestTypingStop();
    }
    std::string BeginCard() override { return record_.BeginCard(); }
    void EndCard() override { record_.EndCard(); }
    std::string Name() const override { return "stopping"; }

private:
    platform::RecordingKeyboard& record_;
    int left_;
};

}  // namespace tarvel_test

class TyperTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetAppSettings();
        ClearTypingStop();
        SetKeyboard(&keyboard);
        SetPause(&keyboard);
        platform::SetDiagnosticSink([this](const std::string& line) { diagnostics.push_back(line); });
    }

    void TearDown() override
    {
        platform::SetDiagnosticSink({});
        SetKeyboard(nullptr);
        SetPause(nullptr);
        ClearTypingStop();
        ResetAppSettings();
    }

    void Settings(std::int32_t cardFormat, std::int32_t fillZeroLength, std::uint8_t autoEnter)
    {
        CardFormat = cardFormat;
        FillZeroLength = fillZeroLength;
        AutoEnter = autoEnter;
    }

    platform::RecordingKeyboard keyboard;
    std::vector<std::string> diagnostics;
};
