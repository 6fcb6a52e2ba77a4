// Held diagnostic lines: kept for the thread that holds them, in order, by
// the innermost scope; other threads' lines are written as usual, and after
// the scope the stream writes again.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Diagnostics.h"

namespace {

TEST(HeldDiagnostics, KeepTheHoldingThreadsLinesOnly)
{
    std::mutex mutex;
    std::vector<std::string> written;
    platform::SetDiagnosticSink([&](const std::string& line) {
        std::lock_guard<std::mutex> lock(mutex);
        written.push_back(line);
    });

    std::vector<std::string> outerLines;
    std::vector<std::string> innerLines;
    {
        const platform::HeldDiagnostics outer;
        platform::Diagnostic("a");
        {
            const platform::HeldDiagnostics inner;
            platform::Diagnostic("b");
            std::thread([] { platform::Diagnostic("other thread"); }).join();
            innerLines = inner.Lines();
        }
        platform::Diagnostic("c");
        outerLines = outer.Lines();
    }
    platform::Diagnostic("d");
    platform::SetDiagnosticSink({});

    EXPECT_EQ(outerLines, (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(innerLines, std::vector<std::string>{"b"});
    EXPECT_EQ(written, (std::vector<std::string>{"other thread", "d"}));
}

}  // namespace
