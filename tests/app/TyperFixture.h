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
