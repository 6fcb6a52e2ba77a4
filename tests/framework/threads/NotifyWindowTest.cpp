// The hidden notification window: messages from another thread arrive in
// order, the sender is released as soon as the procedure replies, and the
// result comes back to the sender.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "framework/MainThread.h"
#include "platform/Diagnostics.h"
#include "platform/EventLoop.h"
#include "platform/HandOver.h"
#include "platform/NotifyWindow.h"
#include "threads/Sync.h"

namespace {

constexpr std::uint32_t Notification = platform::WmUser + 1;

class NotifyWindowTest : public ::testing::Test {
protected:
    void SetUp() override { SetMainThread(); }

    // Runs body on another thread while the main thread serves a plain loop.
    template <typename Body>
    void OnSender(Body body)
    {
        auto loop = platform::CreatePlainEventLoop();
        std::thread sender([&] {
            body();
            loop->Quit(0);
        });
        {
            tarvel_test::DeadlockGuard guard("the main thread serving a notification window");
            loop->Run();
        }
        sender.join();
    }
};

TEST_F(NotifyWindowTest, MessagesArriveInOrderAndTheSenderGoesOnAsSoonAsTheProcedureReplies)
{
    const std::vector<std::uintptr_t> sentCodes = {128, 1, 4, 1024};
    std::vector<tarvel_test::Latch> senderWentOn(sentCodes.size());
    std::vector<std::uintptr_t> codes;
    std::vector<bool> released;
    auto window = platform::CreateNotifyWindow(
        [&](std::uint32_t message, std::uintptr_t wParam, std::intptr_t) -> std::intptr_t {
            if (message != Notification)
                return 0;
            const size_t index = codes.size();
            codes.push_back(wParam);
            EXPECT_TRUE(platform::InSendMessage());
            EXPECT_TRUE(platform::ReplyMessage(0));
            // The sender must be free now, while this procedure still runs.
            released.push_back(index < senderWentOn.size() && senderWentOn[index].Wait());
            return 0;
        });
    OnSender([&] {
        for (size_t i = 0; i < sentCodes.size(); ++i) {
            window->SendMessageA(Notification, sentCodes[i], 0);
            senderWentOn[i].Set();
        }
    });
    EXPECT_EQ(codes, sentCodes);
    EXPECT_EQ(released, std::vector<bool>(sentCodes.size(), true));
}

TEST_F(NotifyWindowTest, TheSenderGetsTheReplyOrElseWhatTheProcedureReturns)
{
    struct Case {
        const char* name;
        bool reply;
        std::intptr_t replied;
        std::intptr_t returned;
        std::intptr_t expected;
    };
    const Case cases[] = {
        {"no reply: the return value", false, 0, 42, 42},
        {"a reply wins over the return value", true, 7, 9, 7},
        {"a reply of 0", true, 0, -1, 0},
    };
    for (const Case& c : cases) {
        auto window = platform::CreateNotifyWindow([&](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
            if (c.reply)
                platform::ReplyMessage(c.replied);
            return c.returned;
        });
        std::intptr_t result = -12345;
        OnSender([&] { result = window->SendMessageA(Notification, 1, 0); });
        EXPECT_EQ(result, c.expected) << c.name;
    }
}

TEST_F(NotifyWindowTest, FromTheWindowsOwnThreadTheProcedureRunsAtOnceAndIsNotASentMessage)
{
    bool inSend = true;
    bool replyAccepted = true;
    std::thread::id ranOn;
    auto window = platform::CreateNotifyWindow(
        [&](std::uint32_t, std::uintptr_t wParam, std::intptr_t lParam) -> std::intptr_t {
            ranOn = std::this_thread::get_id();
            inSend = platform::InSendMessage();
            replyAccepted = platform::ReplyMessage(5);
            return static_cast<std::intptr_t>(wParam) + lParam;
        });
    EXPECT_EQ(window->SendMessageA(Notification, 40, 2), 42);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
    EXPECT_FALSE(inSend);
    EXPECT_FALSE(replyAccepted);
    EXPECT_FALSE(platform::InSendMessage()) << "outside any procedure";
}

TEST_F(NotifyWindowTest, AnExceptionLeavingTheProcedureIsReportedAndTheSenderGetsZero)
{
    std::vector<std::string> lines;
    platform::SetDiagnosticSink([&](const std::string& line) { lines.push_back(line); });
    auto window = platform::CreateNotifyWindow([](std::uint32_t, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        throw std::runtime_error("handler failed");
    });
    std::intptr_t result = -1;
    OnSender([&] { result = window->SendMessageA(Notification, 1, 0); });
    platform::SetDiagnosticSink({});
    EXPECT_EQ(result, 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("handler failed"), std::string::npos) << lines[0];
}

TEST_F(NotifyWindowTest, IsCreatedOnlyOnTheMainThread)
{
    bool refused = false;
    std::thread other([&] {
        try {
            platform::CreateNotifyWindow([](std::uint32_t, std::uintptr_t, std::intptr_t) { return std::intptr_t{0}; });
        } catch (const std::logic_error&) {
            refused = true;
        }
    });
    other.join();
    EXPECT_TRUE(refused);
}

}  // namespace
