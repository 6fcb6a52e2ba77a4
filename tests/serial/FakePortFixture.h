#pragma once
// A port on the scripted fake device. Members are destroyed in reverse: the
// port first (closing through the fake), then the fake is uninstalled.
// Events is empty, so opening starts no event thread and every recorded call
// is the test's own (the event thread has tests of its own).

#include <gtest/gtest.h>

#include "platform/fake/FakeSerialApi.h"
#include "platform/fake/ScopedSerialApi.h"
#include "serial/ComPort.h"
#include "serial/ComPortErrors.h"

class FakePortTest : public ::testing::Test {
protected:
    FakePortTest() { port.SetEvents({}); }

    void SetUp() override { InitSerialErrorTexts(); }

    // Opens the port and forgets the calls the opening made.
    void Open()
    {
        port.SetConnected(true);
        ASSERT_TRUE(port.Connected());
        fake.ClearCalls();
    }

    // Names of the calls made since the last ClearCalls, in order.
    std::vector<std::string> CallNames() const
    {
        std::vector<std::string> names;
        for (const auto& call : fake.Calls())
            names.push_back(call.name);
        return names;
    }

    platform::FakeSerialApi fake;
    platform::ScopedSerialApi useFake{fake};
    TComPort port{nullptr};
};
