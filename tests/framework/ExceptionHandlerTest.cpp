// The central exception handler: the default diagnostic line, an installed
// handler, and a handler that fails itself.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "framework/Exception.h"
#include "framework/ExceptionHandler.h"
#include "platform/Diagnostics.h"

namespace {

class ExceptionHandlerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetDiagnosticSink([this](const std::string& line) { lines.push_back(line); });
        saved_ = SetExceptionHandler({});
    }
    void TearDown() override
    {
        SetExceptionHandler(saved_);
        platform::SetDiagnosticSink({});
    }

    std::vector<std::string> lines;

private:
    TExceptionHandler saved_;
};

TEST_F(ExceptionHandlerTest, WithoutAHandlerTheMessageGoesToTheDiagnosticStream)
{
    HandleException(EConvertError("'' is not a valid integer value"));
    EXPECT_EQ(lines, std::vector<std::string>{"'' is not a valid integer value"});
}

TEST_F(ExceptionHandlerTest, AnInstalledHandlerGetsTheExceptionAndItsSource)
{
    std::string message;
    const void* source = nullptr;
    bool wasConvertError = false;
    SetExceptionHandler([&](const std::exception& e, const void* s) {
        message = e.what();
        source = s;
        wasConvertError = dynamic_cast<const EConvertError*>(&e) != nullptr;
    });
    const int component = 0;
    HandleException(EConvertError("'x' is not a valid integer value"), &component);
    EXPECT_EQ(message, "'x' is not a valid integer value");
    EXPECT_EQ(source, &component);
    EXPECT_TRUE(wasConvertError);
    EXPECT_TRUE(lines.empty());

    // Removing it brings the default back, and hands back the one removed.
    TExceptionHandler removed = SetExceptionHandler({});
    EXPECT_TRUE(static_cast<bool>(removed));
    HandleException(Exception("back to the default"));
    EXPECT_EQ(lines, std::vector<std::string>{"back to the default"});
}

TEST_F(ExceptionHandlerTest, HandleCurrentExceptionTakesAnyThrownValue)
{
    std::vector<std::string> messages;
    SetExceptionHandler([&](const std::exception& e, const void*) { messages.push_back(e.what()); });
    try {
        throw std::runtime_error("from a handler");
    } catch (...) {
        HandleCurrentException();
    }
    try {
        throw 42;
    } catch (...) {
        HandleCurrentException();
    }
    EXPECT_EQ(messages, (std::vector<std::string>{"from a handler", "Unknown exception"}));
}

TEST_F(ExceptionHandlerTest, AHandlerThatFailsIsReportedAndDoesNotThrow)
{
    SetExceptionHandler([](const std::exception&, const void*) { throw std::runtime_error("no display"); });
    EXPECT_NO_THROW(HandleException(Exception("Unable to open com port")));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("no display"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("Unable to open com port"), std::string::npos) << lines[0];
}

}  // namespace
