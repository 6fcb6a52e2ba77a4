// The conformance suite on the Win32 back end under Wine: the port is COM1,
// the card reader writes into COM2, the other end of the pseudo-terminal
// pair that scripts/wine-env.sh makes (the bench is unavailable without it).

#include <windows.h>

#include "tests/platform/conformance/SerialConformance.h"
#include "tests/wine/comport/WinePorts.h"

namespace tarvel_test {
namespace {

class Win32Bench final : public SerialBench {
public:
    platform::ISerialApi& Api() override { return platform::SystemSerialApi(); }
    std::string PortPath() override { return "\\\\.\\COM1"; }
    std::string MissingPortPath() override { return "\\\\.\\COM199"; }
    void Send(const std::string& bytes) override
    {
        EXPECT_TRUE(other_.Write(bytes)) << "writing into COM2: error " << ::GetLastError();
    }
    // The pair belongs to the whole Wine session; taking it away here would
    // take it from the tests after this one.
    bool Unplug() override { return false; }
    bool UnderWine() const override { return true; }
    std::string Unavailable() const override
    {
        if (!wine_test::WinePortsPaired()) {
            return "COM1 and COM2 are not the pty pair of scripts/wine-env.sh";
        }
        return other_.IsOpen() ? "" : "COM2 does not open";
    }

private:
    // Opened only where it is COM1's other end.
    wine_test::WinePort other_{wine_test::WinePortsPaired() ? "\\\\.\\COM2" : "", 0};
};

INSTANTIATE_TEST_SUITE_P(conformance, SerialConformance,
                         ::testing::Values(BenchMaker{"Win32",
                                                      [] { return std::unique_ptr<SerialBench>(new Win32Bench); }}),
                         BenchName);

}  // namespace
}  // namespace tarvel_test
