#pragma once
// A port with its event thread on the scripted fake device. The test's thread
// is the main thread; it serves the event thread with EventLog::ServeUntil.
// Members are destroyed in reverse: the port first (closing, which logs the
// close events), then the log, then the fake is uninstalled.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "framework/MainThread.h"
#include "platform/Diagnostics.h"
#include "platform/fake/FakeSerialApi.h"
#include "platform/fake/ScopedSerialApi.h"
#include "serial/ComPort.h"
#include "serial/ComPortErrors.h"
#include "serial/ComThread.h"
#include "tests/framework/threads/Sync.h"
#include "tests/serial/EventLog.h"

namespace tarvel_test {

// Only turns a hang into a failure; the fake answers at once.
inline constexpr platform::DWORD FakeLimitMs = 20000;

class EventThreadTest : public ::testing::Test {
protected:
    EventThreadTest() { log.Attach(port); }

    void SetUp() override
    {
        SetMainThread();
        InitSerialErrorTexts();
        platform::SetDiagnosticSink([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(diagnosticsMutex_);
            diagnostics_.push_back(line);
        });
    }

    void TearDown() override
    {
        port.SetConnected(false);
        platform::SetDiagnosticSink({});
    }

    // Opens with the given delivery and waits until the event thread's first
    // comm-event wait is pending; forgets the calls and events so far.
    void Open(TSyncMethod method, TComEvents events = TComEvents::All())
    {
        port.SetSyncMethod(method);
        port.SetEvents(events);
        port.SetConnected(true);
        ASSERT_TRUE(port.Connected());
        ASSERT_TRUE(fake.WaitUntilWaitPending(FakeLimitMs));
        fake.ClearCalls();
        log.Clear();
    }

    // Waits until the event thread has ended on its own (a failed wait); the
    // main thread serves meanwhile.
    void WaitForThreadEnd()
    {
        ASSERT_NE(port.EventThread(), nullptr);
        tarvel_test::DeadlockGuard guard("the event thread's end");
        port.EventThread()->WaitFor();
    }

    std::vector<std::string> Diagnostics()
    {
        std::lock_guard<std::mutex> lock(diagnosticsMutex_);
        return diagnostics_;
    }

    platform::FakeSerialApi fake;
    platform::ScopedSerialApi useFake{fake};
    EventLog log;
    TComPort port{nullptr};

private:
    std::mutex diagnosticsMutex_;
    std::vector<std::string> diagnostics_;
};

inline const char* MethodName(TSyncMethod method)
{
    switch (method) {
    case smThreadSync:
        return "smThreadSync";
    case smWindowSync:
        return "smWindowSync";
    case smNone:
        return "smNone";
    }
    return "?";
}

}  // namespace tarvel_test
