// Settings of the port and its groups without a device: initial values, the
// odd-size rule, the flow-control summary both ways, copying groups and the
// stored defaults.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/Exception.h"
#include "serial/ComPort.h"

namespace {

TEST(ComPortSettings, InitialValues)
{
    TComPort port(nullptr);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.CustomBaudRate(), 9600);
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_FALSE(port.DiscardNull());
    EXPECT_EQ(port.EventChar(), '\0');
    EXPECT_EQ(port.Events().ToBits(), 0x3FF);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    EXPECT_EQ(port.PersistGroups(), TPersistGroups{pgBasic});
    EXPECT_EQ(port.DeviceHandle(), platform::InvalidHandle);
    EXPECT_FALSE(port.EventThreadRunning());

    const TComParity& parity = *port.Parity();
    EXPECT_EQ(parity.Bits(), prNone);
    EXPECT_FALSE(parity.Check());
    EXPECT_FALSE(parity.Replace());
    EXPECT_EQ(parity.ReplaceChar(), '\0');

    const TComFlowControl& flow = *port.FlowControl();
    EXPECT_FALSE(flow.OutCTSFlow());
    EXPECT_FALSE(flow.OutDSRFlow());
    EXPECT_EQ(flow.ControlDTR(), dtrDisable);
    EXPECT_EQ(flow.ControlRTS(), rtsDisable);
    EXPECT_FALSE(flow.XonXoffOut());
    EXPECT_FALSE(flow.XonXoffIn());
    EXPECT_FALSE(flow.DSRSensitivity());
    EXPECT_FALSE(flow.TxContinueOnXoff());
    EXPECT_EQ(flow.XonChar(), 17);
    EXPECT_EQ(flow.XoffChar(), 19);
    EXPECT_EQ(flow.FlowControl(), fcNone);

    const TComTimeouts& t = *port.Timeouts();
    EXPECT_EQ(t.ReadInterval(), -1);
    EXPECT_EQ(t.ReadTotalMultiplier(), 0);
    EXPECT_EQ(t.ReadTotalConstant(), 0);
    EXPECT_EQ(t.WriteTotalMultiplier(), 100);
    EXPECT_EQ(t.WriteTotalConstant(), 1000);

    EXPECT_EQ(port.Buffer()->InputSize(), 1024);
    EXPECT_EQ(port.Buffer()->OutputSize(), 1024);

    EXPECT_FALSE(port.OnRxChar());
    EXPECT_FALSE(port.OnAfterOpen());
    EXPECT_EQ(port.ClassName(), "TComPort");
}

TEST(ComPortSettings, GroupsBelongToTheirPortAndFreeGroupsToNone)
{
    TComPort port(nullptr);
    EXPECT_EQ(port.Parity()->OwnerPort(), &port);
    EXPECT_EQ(port.FlowControl()->OwnerPort(), &port);
    EXPECT_EQ(port.Timeouts()->OwnerPort(), &port);
    EXPECT_EQ(port.Buffer()->OwnerPort(), &port);

    TComParity parity;
    EXPECT_EQ(parity.OwnerPort(), nullptr);
    parity.SetBits(prEven);  // no owner: stored, nothing else
    EXPECT_EQ(parity.Bits(), prEven);
}

TEST(ComPortSettings, PortOwnedByComponentIsDestroyedWithIt)
{
    auto* owner = new TComponent(nullptr);
    auto* port = new TComPort(owner);
    port->SetName("ComPort1");
    ASSERT_EQ(owner->Components().size(), 1u);
    EXPECT_EQ(owner->Components()[0], port);
    delete owner;  // destroys the port; the sanitizers see any leak or double free
}

// An odd positive size is lowered by one after it is stored; odd negative
// sizes stay (the remainder has the sign of the dividend).
TEST(ComPortSettings, BufferSizesOddRule)
{
    struct Case {
        std::int32_t given;
        std::int32_t stored;
    };
    const Case cases[] = {{1025, 1024},
                          {1, 0},
                          {-3, -3},
                          {-1, -1},
                          {7, 6},
                          {2, 2},
                          {0, 0},
                          {-4, -4},
                          {400001, 400000},
                          {2147483647, 2147483646},
                          {-2147483647 - 1, -2147483647 - 1}};
    for (const Case& c : cases) {
        TComBuffer buffer;
        buffer.SetInputSize(c.given);
        buffer.SetOutputSize(c.given);
        EXPECT_EQ(buffer.InputSize(), c.stored) << "input " << c.given;
        EXPECT_EQ(buffer.OutputSize(), c.stored) << "output " << c.given;
    }
}

// ---------------------------------------------------------------------------
// Flow-control summary

struct FlowFields {
    TRTSFlowControl rts;
    bool cts;
    bool xonIn;
    bool xonOut;
    TDTRFlowControl dtr = dtrDisable;
    bool dsrFlow = false;
};

void SetFields(TComFlowControl& flow, const FlowFields& f)
{
    flow.SetControlRTS(f.rts);
    flow.SetOutCTSFlow(f.cts);
    flow.SetXonXoffIn(f.xonIn);
    flow.SetXonXoffOut(f.xonOut);
    flow.SetControlDTR(f.dtr);
    flow.SetOutDSRFlow(f.dsrFlow);
}

TEST(ComPortSettings, FlowControlSummaryRead)
{
    struct Case {
        const char* what;
        FlowFields fields;
        TFlowControl expected;
    };
    const Case cases[] = {
        {"all off", {rtsDisable, false, false, false}, fcNone},
        {"RTS handshake and CTS", {rtsHandshake, true, false, false}, fcHardware},
        {"hardware with DTR handshake", {rtsHandshake, true, false, false, dtrHandshake}, fcHardware},
        {"hardware with DSR flow", {rtsHandshake, true, false, false, dtrEnable, true}, fcHardware},
        {"XON/XOFF both ways", {rtsDisable, false, true, true}, fcSoftware},
        {"none with DSR flow and DTR enable", {rtsDisable, false, false, false, dtrEnable, true}, fcNone},
        {"RTS handshake without CTS", {rtsHandshake, false, false, false}, fcCustom},
        {"CTS without RTS handshake", {rtsDisable, true, false, false}, fcCustom},
        {"RTS enabled", {rtsEnable, false, false, false}, fcCustom},
        {"RTS toggle", {rtsToggle, false, false, false}, fcCustom},
        {"XON/XOFF in only", {rtsDisable, false, true, false}, fcCustom},
        {"XON/XOFF out only", {rtsDisable, false, false, true}, fcCustom},
        {"hardware and software", {rtsHandshake, true, true, true}, fcCustom},
        {"software with RTS enabled", {rtsEnable, false, true, true}, fcCustom},
    };
    for (const Case& c : cases) {
        TComFlowControl flow;
        SetFields(flow, c.fields);
        EXPECT_EQ(flow.FlowControl(), c.expected) << c.what;
    }
}

TEST(ComPortSettings, FlowControlSummaryWriteSetsOnlyThePresetFields)
{
    struct Case {
        TFlowControl written;
        TRTSFlowControl rts;
        bool cts;
        bool xon;  // in and out
    };
    const Case cases[] = {{fcHardware, rtsHandshake, true, false},
                          {fcSoftware, rtsDisable, false, true},
                          {fcNone, rtsDisable, false, false}};
    for (const Case& c : cases) {
        // Start from a state that matches no preset and sets every other field.
        TComFlowControl flow;
        SetFields(flow, {rtsToggle, true, true, false, dtrHandshake, true});
        flow.SetDSRSensitivity(true);
        flow.SetTxContinueOnXoff(true);
        flow.SetXonChar('A');
        flow.SetXoffChar('B');

        flow.SetFlowControl(c.written);
        EXPECT_EQ(flow.FlowControl(), c.written) << c.written;
        EXPECT_EQ(flow.ControlRTS(), c.rts) << c.written;
        EXPECT_EQ(flow.OutCTSFlow(), c.cts) << c.written;
        EXPECT_EQ(flow.XonXoffIn(), c.xon) << c.written;
        EXPECT_EQ(flow.XonXoffOut(), c.xon) << c.written;
        // Not part of any preset: untouched.
        EXPECT_EQ(flow.ControlDTR(), dtrHandshake);
        EXPECT_TRUE(flow.OutDSRFlow());
        EXPECT_TRUE(flow.DSRSensitivity());
        EXPECT_TRUE(flow.TxContinueOnXoff());
        EXPECT_EQ(flow.XonChar(), 'A');
        EXPECT_EQ(flow.XoffChar(), 'B');
    }
}

TEST(ComPortSettings, FlowControlCustomChangesNothingAndReadsWhatTheFieldsSay)
{
    TComFlowControl flow;
    SetFields(flow, {rtsHandshake, true, false, false});
    flow.SetFlowControl(fcCustom);
    EXPECT_EQ(flow.FlowControl(), fcHardware);
    EXPECT_EQ(flow.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(flow.OutCTSFlow());

    TComFlowControl custom;
    SetFields(custom, {rtsEnable, true, false, true});
    custom.SetFlowControl(fcCustom);
    EXPECT_EQ(custom.FlowControl(), fcCustom);
    EXPECT_EQ(custom.ControlRTS(), rtsEnable);
    EXPECT_TRUE(custom.XonXoffOut());
}

// ---------------------------------------------------------------------------
// Copying groups

TEST(ComPortSettings, AssignCopiesEveryFieldButNotTheOwner)
{
    TComPort port(nullptr);

    TComParity parity;
    parity.SetBits(prMark);
    parity.SetCheck(true);
    parity.SetReplace(true);
    parity.SetReplaceChar('?');
    port.Parity()->Assign(&parity);
    EXPECT_EQ(port.Parity()->Bits(), prMark);
    EXPECT_TRUE(port.Parity()->Check());
    EXPECT_TRUE(port.Parity()->Replace());
    EXPECT_EQ(port.Parity()->ReplaceChar(), '?');
    EXPECT_EQ(port.Parity()->OwnerPort(), &port);

    TComFlowControl flow;
    SetFields(flow, {rtsToggle, true, true, true, dtrEnable, true});
    flow.SetDSRSensitivity(true);
    flow.SetTxContinueOnXoff(true);
    flow.SetXonChar('x');
    flow.SetXoffChar('y');
    port.FlowControl()->Assign(&flow);
    const TComFlowControl& f = *port.FlowControl();
    EXPECT_EQ(f.ControlRTS(), rtsToggle);
    EXPECT_TRUE(f.OutCTSFlow());
    EXPECT_TRUE(f.XonXoffIn());
    EXPECT_TRUE(f.XonXoffOut());
    EXPECT_EQ(f.ControlDTR(), dtrEnable);
    EXPECT_TRUE(f.OutDSRFlow());
    EXPECT_TRUE(f.DSRSensitivity());
    EXPECT_TRUE(f.TxContinueOnXoff());
    EXPECT_EQ(f.XonChar(), 'x');
    EXPECT_EQ(f.XoffChar(), 'y');
    EXPECT_EQ(f.OwnerPort(), &port);

    TComTimeouts timeouts;
    timeouts.SetReadInterval(1);
    timeouts.SetReadTotalMultiplier(2);
    timeouts.SetReadTotalConstant(3);
    timeouts.SetWriteTotalMultiplier(4);
    timeouts.SetWriteTotalConstant(5);
    port.Timeouts()->Assign(&timeouts);
    const TComTimeouts& t = *port.Timeouts();
    EXPECT_EQ(t.ReadInterval(), 1);
    EXPECT_EQ(t.ReadTotalMultiplier(), 2);
    EXPECT_EQ(t.ReadTotalConstant(), 3);
    EXPECT_EQ(t.WriteTotalMultiplier(), 4);
    EXPECT_EQ(t.WriteTotalConstant(), 5);
    EXPECT_EQ(t.OwnerPort(), &port);

    TComBuffer buffer;
    buffer.SetInputSize(4096);
    buffer.SetOutputSize(-3);
    port.Buffer()->Assign(&buffer);
    EXPECT_EQ(port.Buffer()->InputSize(), 4096);
    EXPECT_EQ(port.Buffer()->OutputSize(), -3);
    EXPECT_EQ(port.Buffer()->OwnerPort(), &port);

    // And back into a free group: it stays free.
    TComBuffer copy;
    copy.Assign(port.Buffer());
    EXPECT_EQ(copy.InputSize(), 4096);
    EXPECT_EQ(copy.OwnerPort(), nullptr);
}

TEST(ComPortSettings, AssignAcrossClassesOrFromNothingFailsAndChangesNothing)
{
    TComParity parity;
    TComBuffer buffer;
    TComTimeouts timeouts;
    TComFlowControl flow;
    TComPort port(nullptr);
    buffer.SetInputSize(64);

    struct Case {
        std::function<void()> copy;
        const char* message;
    };
    const Case cases[] = {
        {[&] { buffer.Assign(&parity); }, "Cannot assign a TComParity to a TComBuffer"},
        {[&] { parity.Assign(&buffer); }, "Cannot assign a TComBuffer to a TComParity"},
        {[&] { flow.Assign(&timeouts); }, "Cannot assign a TComTimeouts to a TComFlowControl"},
        {[&] { timeouts.Assign(&flow); }, "Cannot assign a TComFlowControl to a TComTimeouts"},
        {[&] { buffer.Assign(&port); }, "Cannot assign a TComPort to a TComBuffer"},
        {[&] { buffer.Assign(nullptr); }, "Cannot assign a nil to a TComBuffer"},
        {[&] { port.SetParity(nullptr); }, "Cannot assign a nil to a TComParity"},
        {[&] { port.SetBuffer(nullptr); }, "Cannot assign a nil to a TComBuffer"},
    };
    for (const Case& c : cases) {
        try {
            c.copy();
            ADD_FAILURE() << "no error for: " << c.message;
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
    EXPECT_EQ(buffer.InputSize(), 64);
    EXPECT_EQ(port.Buffer()->InputSize(), 1024);
}

// ---------------------------------------------------------------------------
// Stored form description

TEST(ComPortSettings, PublishedPropertiesInOrder)
{
    const std::vector<std::string_view> expected{
        "Connected",    "BaudRate",     "Port",          "Parity",       "StopBits", "DataBits",   "DiscardNull",
        "EventChar",    "Events",       "Buffer",        "FlowControl",  "Timeouts", "SyncMethod", "OnAfterOpen",
        "OnAfterClose", "OnBeforeOpen", "OnBeforeClose", "OnRxChar",     "OnRxBuf",  "OnTxEmpty",  "OnBreak",
        "OnRing",       "OnCTSChange",  "OnDSRChange",   "OnRLSDChange", "OnRxFlag", "OnError",    "OnRx80Full"};
    const auto names = TCustomComPort::PublishedProperties();
    EXPECT_EQ(std::vector<std::string_view>(names.begin(), names.end()), expected);
    EXPECT_EQ(TComFlowControl::PublishedProperties().front(), "FlowControl");
}

TEST(ComPortSettings, StoredDefaults)
{
    TComPort port(nullptr);
    const TComParity& parity = *port.Parity();
    const TComFlowControl& flow = *port.FlowControl();
    const TComTimeouts& t = *port.Timeouts();
    const TComBuffer& b = *port.Buffer();

    // With the initial values only the properties without a stored default
    // are written.
    struct Expect {
        std::string_view name;
        bool stored;
    };
    const Expect portDefaults[] = {{"Connected", false}, {"BaudRate", true},        {"Port", true},
                                   {"StopBits", true},   {"DataBits", true},        {"DiscardNull", false},
                                   {"EventChar", false}, {"Events", true},          {"SyncMethod", false},
                                   {"OnRxChar", false},  {"CustomBaudRate", false}, {"PersistGroups", false}};
    for (const Expect& e : portDefaults)
        EXPECT_EQ(port.IsStored(e.name), e.stored) << e.name;

    for (auto name : TComParity::PublishedProperties())
        EXPECT_EQ(parity.IsStored(name), name == "Bits") << name;
    for (auto name : TComFlowControl::PublishedProperties()) {
        const bool always = name == "OutCTSFlow" || name == "OutDSRFlow" || name == "ControlDTR" ||
                            name == "ControlRTS" || name == "XonXoffOut" || name == "XonXoffIn";
        EXPECT_EQ(flow.IsStored(name), always) << name;
    }
    for (auto name : TComTimeouts::PublishedProperties())
        EXPECT_FALSE(t.IsStored(name)) << name;
    for (auto name : TComBuffer::PublishedProperties())
        EXPECT_FALSE(b.IsStored(name)) << name;

    // Away from the defaults every one is written.
    port.SetDiscardNull(true);
    port.SetEventChar('\r');
    port.SetSyncMethod(smNone);
    port.SetOnRxChar([](TComponent*, std::int32_t) {});
    port.Parity()->SetCheck(true);
    port.Parity()->SetReplace(true);
    port.Parity()->SetReplaceChar('*');
    port.FlowControl()->SetDSRSensitivity(true);
    port.FlowControl()->SetTxContinueOnXoff(true);
    port.FlowControl()->SetXonChar(1);
    port.FlowControl()->SetXoffChar(2);
    port.Timeouts()->SetReadInterval(200);
    port.Timeouts()->SetReadTotalMultiplier(200);
    port.Timeouts()->SetReadTotalConstant(200);
    port.Timeouts()->SetWriteTotalMultiplier(0);
    port.Timeouts()->SetWriteTotalConstant(0);
    port.Buffer()->SetInputSize(2048);
    port.Buffer()->SetOutputSize(512);
    for (auto name : {"DiscardNull", "EventChar", "SyncMethod", "OnRxChar"})
        EXPECT_TRUE(port.IsStored(name)) << name;
    for (auto name : TComParity::PublishedProperties())
        EXPECT_TRUE(parity.IsStored(name)) << name;
    for (auto name : TComFlowControl::PublishedProperties())
        EXPECT_EQ(flow.IsStored(name), name != "FlowControl") << name;
    for (auto name : TComTimeouts::PublishedProperties())
        EXPECT_TRUE(t.IsStored(name)) << name;
    for (auto name : TComBuffer::PublishedProperties())
        EXPECT_TRUE(b.IsStored(name)) << name;
}

TEST(ComPortSettings, SetsKeepOnlyTheirMembers)
{
    EXPECT_EQ(TComEvents::All().ToBits(), 0x3FF);
    EXPECT_EQ(TComEvents::FromBits(0xFFFF).ToBits(), 0x3FF);
    EXPECT_EQ(TComErrors::All().ToBits(), 0xFF);
    EXPECT_EQ(TPersistGroups::All().ToBits(), 0x3F);
    EXPECT_EQ(TLineSignals::FromBits(0xFF).ToBits(), 0x0F);

    TComEvents events{evRxChar, evRx80Full};
    EXPECT_EQ(events.ToBits(), 0x201);
    EXPECT_TRUE(events.Contains(evRx80Full));
    EXPECT_FALSE(events.Contains(evError));
    events.Include(static_cast<TComEvent>(12));  // no member: ignored
    EXPECT_EQ(events.ToBits(), 0x201);
    EXPECT_FALSE(events.Contains(static_cast<TComEvent>(12)));
    events.Exclude(evRxChar);
    EXPECT_EQ(events, TComEvents{evRx80Full});
    EXPECT_EQ((TComEvents{evRxChar} + TComEvents{evError}).ToBits(), 0x81);
    EXPECT_TRUE((TComEvents::All() - TComEvents::All()).Empty());
    EXPECT_EQ(TComEvents::All() * TComEvents{evCTS}, TComEvents{evCTS});
}

}  // namespace
