#pragma once
// The conformance suite every serial back end passes; instantiate it with
// INSTANTIATE_TEST_SUITE_P(conformance, SerialConformance,
// ::testing::Values(...), BenchName) and the benches of the back ends at hand
// (the bench's name ends each test's name; the prefix lets
// `ctest -R conformance` find them all).

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/SerialApi.h"
#include "tests/platform/conformance/SerialBench.h"

namespace tarvel_test {

class SerialConformance : public ::testing::TestWithParam<BenchMaker> {
protected:
    void SetUp() override;
    void TearDown() override;

    platform::ISerialApi& Api() { return bench->Api(); }
    platform::Handle OpenPort();
    // Opens the port at 9600 8N1, queues of 1024, reads that return at once.
    void OpenAndSetUp();
    static platform::Dcb Dcb8N1(platform::DWORD baud);
    void SetTimeouts(platform::DWORD interval, platform::DWORD multiplier, platform::DWORD constant);
    // Sets the event mask and starts a comm-event wait that stays pending;
    // the wait's mask goes into `mask`.
    void StartPendingWait(platform::DWORD eventMask);
    // Bytes in the input queue once at least n are there (or after a while).
    platform::DWORD WaitQueued(platform::DWORD n);
    // Whether the operation on ov ended (its event set) before a long wait.
    bool Ended();
    // One overlapped read of up to count bytes; `moreOncePending` is sent
    // once the read is pending; `restOnceStillPending`, when given, once the
    // read is still pending a moment after that (which is checked). The
    // bytes read, and the error of a read that failed.
    struct ReadEnd {
        std::string bytes;
        platform::DWORD error = platform::ErrorSuccess;
    };
    ReadEnd ReadUntilItEnds(platform::DWORD count, const std::string& moreOncePending,
                            const std::string& restOnceStillPending = "");
    // The same for a read that must succeed.
    std::string Read(platform::DWORD count, const std::string& moreOncePending);

    std::unique_ptr<SerialBench> bench;
    platform::Handle port = platform::InvalidHandle;
    platform::Handle event = platform::NullHandle;
    platform::Overlapped ov;
    platform::DWORD mask = 0xDEADBEEF;
};

}  // namespace tarvel_test
