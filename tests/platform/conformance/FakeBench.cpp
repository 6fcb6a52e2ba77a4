// The conformance suite on the scripted fake.

#include "platform/fake/FakeSerialApi.h"
#include "tests/platform/conformance/SerialConformance.h"

namespace tarvel_test {
namespace {

class FakeBench final : public SerialBench {
public:
    platform::ISerialApi& Api() override { return fake_; }
    std::string PortPath() override { return "\\\\.\\COM3"; }
    std::string MissingPortPath() override
    {
        // The fake has no list of devices: the next opening fails as a
        // missing one does.
        fake_.SetOpenError(platform::ErrorFileNotFound);
        return "\\\\.\\COM99";
    }
    void Send(const std::string& bytes) override { fake_.QueueInput(bytes); }
    bool Unplug() override
    {
        fake_.FailPendingWaits(platform::ErrorDeviceNotConnected);
        return true;
    }
    // Of the time-out forms without a clock, 0/0/0 waits for the count.
    void TimeoutsSet(const platform::CommTimeouts& t) override
    {
        fake_.SetReadsWait(t.ReadIntervalTimeout == 0 && t.ReadTotalTimeoutMultiplier == 0 &&
                           t.ReadTotalTimeoutConstant == 0);
    }
    bool MeasuresTime() const override { return false; }

private:
    platform::FakeSerialApi fake_;
};

INSTANTIATE_TEST_SUITE_P(conformance, SerialConformance,
                         ::testing::Values(BenchMaker{"Fake",
                                                      [] { return std::unique_ptr<SerialBench>(new FakeBench); }}),
                         BenchName);

}  // namespace
}  // namespace tarvel_test
