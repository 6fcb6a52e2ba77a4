#pragma once
// One serial back end and the line into its port, for the conformance suite
// that every back end must pass (SerialConformance.cpp). A test executable
// instantiates the suite with the benches it can run: the fake everywhere,
// the Linux back end on a pseudo-terminal pair, the Win32 back end on COM1
// with bytes written into COM2.

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <memory>
#include <string>

#include "platform/SerialApi.h"

namespace tarvel_test {

class SerialBench {
public:
    virtual ~SerialBench() = default;

    virtual platform::ISerialApi& Api() = 0;
    // The device path of a port that can be opened, and of one that does
    // not exist.
    virtual std::string PortPath() = 0;
    virtual std::string MissingPortPath() = 0;
    // Bytes arriving on the line, as a card reader sends them.
    virtual void Send(const std::string& bytes) = 0;
    // Takes the device away (a reader unplugged). false where the bench
    // cannot do that.
    virtual bool Unplug() = 0;
    // The read time-outs just set on the port. A bench whose device has no
    // clock of its own plays the forms that need none here.
    virtual void TimeoutsSet(const platform::CommTimeouts&) {}
    // Whether the back end measures read time-outs (the fake does not: its
    // reads end at once or wait for their count, as scripted).
    virtual bool MeasuresTime() const { return true; }
    // Whether this is the Win32 back end under Wine, where Wine departs from
    // Windows' documented behaviour in places the suite marks.
    virtual bool UnderWine() const { return false; }
    // Why the bench cannot run here (empty when it can).
    virtual std::string Unavailable() const { return {}; }
};

struct BenchMaker {
    std::string name;
    std::function<std::unique_ptr<SerialBench>()> make;
};

inline void PrintTo(const BenchMaker& maker, std::ostream* os) { *os << maker.name; }

inline std::string BenchName(const ::testing::TestParamInfo<BenchMaker>& info) { return info.param.name; }

}  // namespace tarvel_test
