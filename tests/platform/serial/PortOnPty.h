#pragma once
// A port opened with the Linux back end on the slave of a fresh
// pseudo-terminal pair: 9600 8N1, input queue 1024, read time-outs
// MAXDWORD/0/0, and one overlapped block with a manual-reset event.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "platform/SerialApi.h"
#include "tests/support/PtyPair.h"
#include "tests/support/ThreadStats.h"

namespace tarvel_test {

class PortOnPty : public ::testing::Test {
protected:
    void SetUp() override
    {
        ioThread = NewThreadDuring("tarvel-serial", [&] {
            port = api.CreateFileA(pty.PortPath(), platform::GenericRead | platform::GenericWrite, 0,
                                   platform::OpenExisting, platform::FileFlagOverlapped);
        });
        ASSERT_NE(port, platform::InvalidHandle) << api.GetLastError();
        ASSERT_NE(ioThread, -1);
        ASSERT_TRUE(api.SetupComm(port, 1024, 1024));
        platform::Dcb dcb;
        dcb.BaudRate = 9600;
        dcb.Flags = platform::DcbBinary;
        dcb.ByteSize = 8;
        dcb.XonChar = 17;
        dcb.XoffChar = 19;
        ASSERT_TRUE(api.SetCommState(port, dcb));
        SetTimeouts(platform::MaxDword, 0, 0);
        event = api.CreateEventA(true, true);
        ASSERT_NE(event, platform::NullHandle);
        ov.hEvent = event;
    }

    void TearDown() override
    {
        if (port != platform::InvalidHandle) {
            api.CloseHandle(port);
        }
        api.CloseHandle(event);
    }

    void SetTimeouts(platform::DWORD interval, platform::DWORD multiplier, platform::DWORD constant)
    {
        platform::CommTimeouts t;
        t.ReadIntervalTimeout = interval;
        t.ReadTotalTimeoutMultiplier = multiplier;
        t.ReadTotalTimeoutConstant = constant;
        ASSERT_TRUE(api.SetCommTimeouts(port, t));
    }

    // Bytes waiting for a read, once at least n are there (or after 2 s).
    platform::DWORD WaitQueued(platform::DWORD n)
    {
        const auto start = std::chrono::steady_clock::now();
        platform::ComStat stat;
        platform::DWORD errors = 0;
        do {
            EXPECT_TRUE(api.ClearCommError(port, &errors, &stat));
            if (stat.cbInQue >= n) {
                break;
            }
            api.Sleep(2);
        } while (ElapsedMs(start) < 2000);
        return stat.cbInQue;
    }

    platform::DWORD Queued()
    {
        platform::ComStat stat;
        platform::DWORD errors = 0;
        EXPECT_TRUE(api.ClearCommError(port, &errors, &stat));
        return stat.cbInQue;
    }

    // The error word of every ClearCommError until done(errors so far, the
    // last status) or the limit; `stat` is the last status.
    platform::DWORD GatherErrors(platform::ComStat& stat, double limitMs,
                                 const std::function<bool(platform::DWORD, const platform::ComStat&)>& done)
    {
        platform::DWORD errors = 0;
        const auto start = std::chrono::steady_clock::now();
        do {
            platform::DWORD now = 0;
            EXPECT_TRUE(api.ClearCommError(port, &now, &stat));
            errors |= now;
            if (done(errors, stat)) {
                break;
            }
            api.Sleep(2);
        } while (ElapsedMs(start) < limitMs);
        return errors;
    }

    // The I/O thread neither runs nor wakes while the test sleeps this long
    // (one switch allowed for a wake-up already on its way).
    void ExpectIoThreadStill(std::chrono::milliseconds sleep)
    {
        const ThreadStats before = StatsOf(ioThread);
        std::this_thread::sleep_for(sleep);
        const ThreadStats after = StatsOf(ioThread);
        EXPECT_LE(after.switches - before.switches, 1);
        EXPECT_EQ(after.cpuTicks - before.cpuTicks, 0);
    }

    platform::ISerialApi& api = platform::SystemSerialApi();
    PtyPair pty;
    platform::Handle port = platform::InvalidHandle;
    int ioThread = -1;
    platform::Handle event = platform::NullHandle;
    platform::Overlapped ov;
    // The mask of a wait on ov. A member, like ov: a wait still pending when
    // the test ends is completed by the close in TearDown, which writes both
    // (a close ends a pending wait with mask 0, as Windows does).
    platform::DWORD mask = 0;
};

}  // namespace tarvel_test
