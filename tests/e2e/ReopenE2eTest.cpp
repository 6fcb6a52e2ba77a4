// End to end on Linux: the reader is unplugged and plugged in again. The real
// tarvel holds the virtual reader's link; a card is typed; the reader ends
// (its pseudo-terminal hangs up and the link goes); a few seconds later a new
// reader appears behind the same link (another pseudo-terminal); its card is
// typed too, and tarvel told both the loss and the reopening on standard
// error.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/e2e/E2eFixture.h"
#include "tests/support/PtyPair.h"

namespace {

using tarvel_test::Child;
using tarvel_test::Clock;
using tarvel_test::milliseconds;

class ReopenE2e : public tarvel_test::TarvelOnXvfb {
protected:
    // Serves the receiver's output until done() or the limit; false on the
    // limit.
    static bool Until(Child& receiver, milliseconds limit, const std::function<bool()>& done)
    {
        const auto deadline = Clock::now() + limit;
        while (!done()) {
            if (Clock::now() >= deadline)
                return false;
            receiver.ReadOutput(milliseconds(50));
        }
        return true;
    }
};

TEST_F(ReopenE2e, AReaderUnpluggedAndPluggedInAgainIsTypedFromAgain)
{
    const std::vector<std::string> display = {"DISPLAY=" + DisplayName()};
    const std::string link = ::testing::TempDir() + "tarvel-reopen-" + std::to_string(getpid());
    const milliseconds generous(30000);

    Child receiver({TARVEL_RECEIVER}, display);
    ASSERT_EQ(receiver.ReadLine(generous), "ready") << receiver.Errors();

    // The first reader: one card, then it keeps the device 1.5 s and ends.
    auto first = std::make_unique<Child>(std::vector<std::string>{TARVEL_READER, "--link", link, "--wait-open",
                                                                  "--delay", "100", "--hold", "1500", "AABBCCDD"});
    const auto firstDevice = first->ReadLine(milliseconds(10000));
    ASSERT_TRUE(firstDevice) << first->Errors();

    Child tarvel({TARVEL_PROGRAM, link, "10", "1", "1"}, display, HiddenFromTarvel());
    EXPECT_TRUE(Until(receiver, generous, [&] { return receiver.Output() == "2864434397\n"; }))
        << "received: " << receiver.Output() << "\ntarvel said: " << tarvel.Errors();

    const std::string lost = "serial port " + link + ": lost (";
    const std::string every = "); trying to reopen it every second\n";
    EXPECT_TRUE(Until(receiver, generous, [&] { return !first->Running(); })) << "the first reader did not end";
    EXPECT_TRUE(Until(receiver, generous, [&] { return tarvel.Errors().find(every) != std::string::npos; }))
        << "tarvel said: " << tarvel.Errors();
    first.reset();
    // Holding a pseudo-terminal of our own meanwhile makes the new reader
    // come back as another device behind the same link, as a USB reader may
    // come back as another ttyUSBn.
    auto spare = std::make_unique<tarvel_test::PtyPair>();

    // A few seconds without a reader, while tarvel keeps trying.
    Until(receiver, milliseconds(3000), [] { return false; });
    ASSERT_TRUE(tarvel.Running()) << tarvel.Errors();

    Child second({TARVEL_READER, "--link", link, "--wait-open", "--delay", "100", "--hold", "forever", "0F12345678"});
    const auto secondDevice = second.ReadLine(milliseconds(10000));
    ASSERT_TRUE(secondDevice) << second.Errors();
    EXPECT_NE(*secondDevice, *firstDevice);
    EXPECT_TRUE(Until(receiver, generous, [&] { return receiver.Output() == "2864434397\n0305419896\n"; }))
        << "received: " << receiver.Output() << "\ntarvel said: " << tarvel.Errors();
    Until(receiver, milliseconds(500), [] { return false; });  // nothing more may come

    EXPECT_EQ(tarvel.Stop(), "exit 0");
    second.Stop();
    receiver.Stop();
    spare.reset();
    EXPECT_EQ(receiver.Output(), "2864434397\n0305419896\n");

    const std::string& said = tarvel.Errors();
    const std::size_t lostAt = said.find(lost);
    const std::size_t againAt = said.find("serial port " + link + ": open again\n");
    ASSERT_NE(lostAt, std::string::npos) << said;
    ASSERT_NE(againAt, std::string::npos) << said;
    EXPECT_LT(lostAt, againAt) << said;
    EXPECT_EQ(said.find(lost, lostAt + 1), std::string::npos) << "lost once: " << said;
    // The failed attempts (no device file) were told once, not every second.
    const std::string missing = "cannot open: No such file or directory";
    const std::size_t missingAt = said.find(missing);
    EXPECT_NE(missingAt, std::string::npos) << said;
    EXPECT_EQ(said.find(missing, missingAt + 1), std::string::npos) << said;
    std::printf("readers on %s, then %s; tarvel said:\n%s", firstDevice->c_str(), secondDevice->c_str(), said.c_str());
}

// Ended from outside while the reader is away: tarvel ends normally.
TEST_F(ReopenE2e, StoppedWhileTheReaderIsAwayItEndsNormally)
{
    const std::vector<std::string> display = {"DISPLAY=" + DisplayName()};
    const std::string link = ::testing::TempDir() + "tarvel-reopen-stop-" + std::to_string(getpid());
    const milliseconds generous(30000);

    auto reader = std::make_unique<Child>(
        std::vector<std::string>{TARVEL_READER, "--link", link, "--wait-open", "--hold", "500"});
    ASSERT_TRUE(reader->ReadLine(milliseconds(10000))) << reader->Errors();
    Child tarvel({TARVEL_PROGRAM, link, "10", "1", "1"}, display, HiddenFromTarvel());
    const auto deadline = Clock::now() + generous;
    while (tarvel.Errors().find("trying to reopen it every second") == std::string::npos && Clock::now() < deadline)
        tarvel.ReadOutput(milliseconds(50));  // it prints nothing: a pause that ends early if it does
    ASSERT_NE(tarvel.Errors().find("trying to reopen it every second"), std::string::npos) << tarvel.Errors();
    EXPECT_EQ(tarvel.Stop(), "exit 0") << tarvel.Errors();
}

}  // namespace
