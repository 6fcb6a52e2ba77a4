// Each event hook calls its own handler, with the component as Sender and
// the hook's arguments, and does nothing without one.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "serial/ComPort.h"

namespace {

// Makes the protected hooks callable.
class HookPort : public TComPort {
public:
    using TComPort::TComPort;
    using TCustomComPort::FireAfterClose;
    using TCustomComPort::FireAfterOpen;
    using TCustomComPort::FireBeforeClose;
    using TCustomComPort::FireBeforeOpen;
    using TCustomComPort::FireBreak;
    using TCustomComPort::FireCTSChange;
    using TCustomComPort::FireDSRChange;
    using TCustomComPort::FireError;
    using TCustomComPort::FireRing;
    using TCustomComPort::FireRLSDChange;
    using TCustomComPort::FireRx80Full;
    using TCustomComPort::FireRxBuf;
    using TCustomComPort::FireRxChar;
    using TCustomComPort::FireRxFlag;
    using TCustomComPort::FireTxEmpty;
};

struct Log {
    std::vector<std::string> entries;
    TComponent* sender = nullptr;
    TNotifyEvent Notify(std::string name)
    {
        return [this, name](TComponent* s) {
            sender = s;
            entries.push_back(name);
        };
    }
    TComSignalEvent Signal(std::string name)
    {
        return [this, name](TComponent* s, bool on) {
            sender = s;
            entries.push_back(name + (on ? "(true)" : "(false)"));
        };
    }
};

void AssignAll(HookPort& port, Log& log)
{
    port.SetOnAfterClose(log.Notify("AfterClose"));
    port.SetOnAfterOpen(log.Notify("AfterOpen"));
    port.SetOnBeforeClose(log.Notify("BeforeClose"));
    port.SetOnBeforeOpen(log.Notify("BeforeOpen"));
    port.SetOnTxEmpty(log.Notify("TxEmpty"));
    port.SetOnBreak(log.Notify("Break"));
    port.SetOnRing(log.Notify("Ring"));
    port.SetOnRxFlag(log.Notify("RxFlag"));
    port.SetOnRx80Full(log.Notify("Rx80Full"));
    port.SetOnCTSChange(log.Signal("CTS"));
    port.SetOnDSRChange(log.Signal("DSR"));
    port.SetOnRLSDChange(log.Signal("RLSD"));
    port.SetOnRxChar([&log](TComponent* s, std::int32_t count) {
        log.sender = s;
        log.entries.push_back("RxChar(" + std::to_string(count) + ")");
    });
    port.SetOnRxBuf([&log](TComponent* s, const void* buffer, std::int32_t count) {
        log.sender = s;
        log.entries.push_back("RxBuf(" + std::string(static_cast<const char*>(buffer), count) + ")");
    });
    port.SetOnError([&log](TComponent* s, TComErrors errors) {
        log.sender = s;
        log.entries.push_back("Error(" + std::to_string(errors.ToBits()) + ")");
    });
}

TEST(ComPortHooks, EachHookCallsItsOwnHandler)
{
    HookPort port(nullptr);
    Log log;
    AssignAll(port, log);

    struct Case {
        std::function<void()> fire;
        std::string expected;
    };
    const Case cases[] = {
        {[&] { port.FireAfterClose(); }, "AfterClose"},
        {[&] { port.FireAfterOpen(); }, "AfterOpen"},
        {[&] { port.FireBeforeClose(); }, "BeforeClose"},
        {[&] { port.FireBeforeOpen(); }, "BeforeOpen"},
        {[&] { port.FireRxChar(42); }, "RxChar(42)"},
        {[&] { port.FireRxBuf("ab", 2); }, "RxBuf(ab)"},
        {[&] { port.FireTxEmpty(); }, "TxEmpty"},
        {[&] { port.FireBreak(); }, "Break"},
        {[&] { port.FireRing(); }, "Ring"},
        {[&] { port.FireRxFlag(); }, "RxFlag"},
        {[&] { port.FireCTSChange(true); }, "CTS(true)"},
        {[&] { port.FireDSRChange(false); }, "DSR(false)"},
        {[&] {
             port.FireError(TComErrors{ceFrame, ceTxFull});
         },
         "Error(129)"},
        {[&] { port.FireRLSDChange(true); }, "RLSD(true)"},
        {[&] { port.FireRx80Full(); }, "Rx80Full"},
    };
    for (const Case& c : cases) {
        log.entries.clear();
        log.sender = nullptr;
        c.fire();
        EXPECT_EQ(log.entries, std::vector<std::string>{c.expected});
        EXPECT_EQ(log.sender, &port) << c.expected;
    }
}

TEST(ComPortHooks, WithoutHandlersNothingHappens)
{
    HookPort port(nullptr);
    Log log;
    AssignAll(port, log);
    for (auto name : TCustomComPort::PublishedProperties()) {
        if (name.starts_with("On")) {
            EXPECT_TRUE(port.IsStored(name)) << name;  // an assigned handler is written
        }
    }
    // Unassign every handler again.
    port.SetOnAfterClose({});
    port.SetOnAfterOpen({});
    port.SetOnBeforeClose({});
    port.SetOnBeforeOpen({});
    port.SetOnTxEmpty({});
    port.SetOnBreak({});
    port.SetOnRing({});
    port.SetOnRxFlag({});
    port.SetOnRx80Full({});
    port.SetOnCTSChange({});
    port.SetOnDSRChange({});
    port.SetOnRLSDChange({});
    port.SetOnRxChar({});
    port.SetOnRxBuf({});
    port.SetOnError({});
    for (auto name : TCustomComPort::PublishedProperties())
        EXPECT_FALSE(name.starts_with("On") && port.IsStored(name)) << name;

    port.FireAfterClose();
    port.FireAfterOpen();
    port.FireBeforeClose();
    port.FireBeforeOpen();
    port.FireRxChar(1);
    port.FireRxBuf("x", 1);
    port.FireTxEmpty();
    port.FireBreak();
    port.FireRing();
    port.FireRxFlag();
    port.FireCTSChange(true);
    port.FireDSRChange(true);
    port.FireError(TComErrors::All());
    port.FireRLSDChange(true);
    port.FireRx80Full();
    EXPECT_TRUE(log.entries.empty());
}

}  // namespace
