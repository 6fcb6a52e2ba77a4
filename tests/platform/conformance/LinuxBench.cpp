// The conformance suite on the Linux back end: the port is the slave of a
// pseudo-terminal pair, the card reader writes into its master.

#include "tests/platform/conformance/SerialConformance.h"
#include "tests/support/PtyPair.h"

namespace tarvel_test {
namespace {

class LinuxBench final : public SerialBench {
public:
    platform::ISerialApi& Api() override { return platform::SystemSerialApi(); }
    std::string PortPath() override { return pty_.PortPath(); }
    std::string MissingPortPath() override { return "\\\\.\\/dev/tarvel-no-such-port"; }
    void Send(const std::string& bytes) override { pty_.Write(bytes); }
    bool Unplug() override
    {
        pty_.CloseMaster();
        return true;
    }

private:
    PtyPair pty_;
};

INSTANTIATE_TEST_SUITE_P(conformance, SerialConformance,
                         ::testing::Values(BenchMaker{"Linux",
                                                      [] { return std::unique_ptr<SerialBench>(new LinuxBench); }}),
                         BenchName);

}  // namespace
}  // namespace tarvel_test
