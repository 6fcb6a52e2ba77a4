// What the settings send to the device: the DCB, the time-outs and the queue
// sizes, and when they are sent (only while connected and not loading; a
// setter given its current value sends nothing; a group assigned while
// connected re-sends the whole group).

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "FakePortFixture.h"
#include "framework/ExceptionHandler.h"

namespace {

using platform::Dcb;

class ComPortApply : public FakePortTest {
protected:
    // The DCB sent last after a port of its own, set by `set`, has opened;
    // the port is closed again.
    std::optional<Dcb> DcbSentFor(const std::function<void(TCustomComPort&)>& set)
    {
        TComPort p(nullptr);
        p.SetEvents({});  // no event thread: only the settings' calls are recorded
        set(p);
        p.SetConnected(true);
        const std::optional<Dcb> dcb = fake.LastDcb();
        p.SetConnected(false);
        return dcb;
    }
};

// A change, described for the failure message.
struct Change {
    const char* what;
    std::function<void(TCustomComPort&)> apply;
};

TEST_F(ComPortApply, OpeningSendsAllSettingsInOrder)
{
    port.SetConnected(true);
    EXPECT_EQ(CallNames(),
              (std::vector<std::string>{"CreateFileA", "SetupComm", "SetCommState", "SetCommTimeouts",
                                        "GetCommModemStatus", "GetCommModemStatus", "GetCommModemStatus"}));

    const auto open = fake.CallsOf("CreateFileA").at(0);
    EXPECT_EQ(open.path, "\\\\.\\COM1");
    EXPECT_EQ(open.access, 0xC0000000u);
    EXPECT_EQ(open.shareMode, 0u);
    EXPECT_EQ(open.creation, 3u);
    EXPECT_EQ(open.flags, 0x40000000u);
    EXPECT_NE(port.DeviceHandle(), platform::InvalidHandle);
    EXPECT_TRUE(fake.IsOpen(port.DeviceHandle()));

    for (const auto& call : fake.Calls()) {
        if (call.name != "CreateFileA") {
            EXPECT_EQ(call.handle, port.DeviceHandle()) << call.name;
        }
    }

    const auto setup = fake.CallsOf("SetupComm").at(0);
    EXPECT_EQ(setup.inQueue, 1024u);
    EXPECT_EQ(setup.outQueue, 1024u);
}

// The DCB of the initial settings, which are also those of the main window's
// port: 9600 8N1, no flow control, 1024-byte queues.
TEST_F(ComPortApply, DcbOfTheInitialSettings)
{
    port.SetConnected(true);
    Dcb expected;
    expected.DCBlength = 28;
    expected.BaudRate = 9600;
    expected.Flags = 1;
    expected.XonLim = 256;
    expected.XoffLim = 256;
    expected.ByteSize = 8;
    expected.Parity = 0;
    expected.StopBits = 0;
    expected.XonChar = 17;
    expected.XoffChar = 19;
    ASSERT_TRUE(fake.LastDcb().has_value());
    EXPECT_EQ(*fake.LastDcb(), expected);
}

TEST_F(ComPortApply, DcbFlagsWord)
{
    struct Case {
        const char* what;
        std::function<void(TCustomComPort&)> set;
        platform::DWORD flags;
        char errorChar;
    };
    const Case cases[] = {
        {"initial", [](TCustomComPort&) {}, 0x0001, 0},
        {"hardware flow", [](TCustomComPort& p) { p.FlowControl()->SetFlowControl(fcHardware); }, 0x2005, 0},
        {"software flow", [](TCustomComPort& p) { p.FlowControl()->SetFlowControl(fcSoftware); }, 0x0301, 0},
        {"check and replace",
         [](TCustomComPort& p) {
             p.Parity()->SetCheck(true);
             p.Parity()->SetReplace(true);
             p.Parity()->SetReplaceChar('?');
         },
         0x0403, '?'},
        {"replace alone",
         [](TCustomComPort& p) {
             p.Parity()->SetReplace(true);
             p.Parity()->SetReplaceChar('?');
         },
         0x0001, 0},
        {"check alone", [](TCustomComPort& p) { p.Parity()->SetCheck(true); }, 0x0003, 0},
        {"CTS flow", [](TCustomComPort& p) { p.FlowControl()->SetOutCTSFlow(true); }, 0x0005, 0},
        {"DSR flow", [](TCustomComPort& p) { p.FlowControl()->SetOutDSRFlow(true); }, 0x0009, 0},
        {"DTR enable", [](TCustomComPort& p) { p.FlowControl()->SetControlDTR(dtrEnable); }, 0x0011, 0},
        {"DTR handshake", [](TCustomComPort& p) { p.FlowControl()->SetControlDTR(dtrHandshake); }, 0x0021, 0},
        {"DSR sensitivity", [](TCustomComPort& p) { p.FlowControl()->SetDSRSensitivity(true); }, 0x0041, 0},
        {"TX continue on XOFF", [](TCustomComPort& p) { p.FlowControl()->SetTxContinueOnXoff(true); }, 0x0081, 0},
        {"XON/XOFF out", [](TCustomComPort& p) { p.FlowControl()->SetXonXoffOut(true); }, 0x0101, 0},
        {"XON/XOFF in", [](TCustomComPort& p) { p.FlowControl()->SetXonXoffIn(true); }, 0x0201, 0},
        {"discard null", [](TCustomComPort& p) { p.SetDiscardNull(true); }, 0x0801, 0},
        {"RTS enable", [](TCustomComPort& p) { p.FlowControl()->SetControlRTS(rtsEnable); }, 0x1001, 0},
        {"RTS toggle", [](TCustomComPort& p) { p.FlowControl()->SetControlRTS(rtsToggle); }, 0x3001, 0},
        {"everything",
         [](TCustomComPort& p) {
             p.Parity()->SetCheck(true);
             p.Parity()->SetReplace(true);
             p.FlowControl()->SetOutCTSFlow(true);
             p.FlowControl()->SetOutDSRFlow(true);
             p.FlowControl()->SetControlDTR(dtrHandshake);
             p.FlowControl()->SetDSRSensitivity(true);
             p.FlowControl()->SetTxContinueOnXoff(true);
             p.FlowControl()->SetXonXoffOut(true);
             p.FlowControl()->SetXonXoffIn(true);
             p.FlowControl()->SetControlRTS(rtsToggle);
             p.SetDiscardNull(true);
         },
         0x3FEF, 0},  // all but fAbortOnError and the low DTR bit (handshake is 2)
    };
    for (const Case& c : cases) {
        const auto dcb = DcbSentFor(c.set);
        ASSERT_TRUE(dcb.has_value()) << c.what;
        EXPECT_EQ(dcb->Flags, c.flags) << c.what;
        EXPECT_EQ(dcb->ErrorChar, c.errorChar) << c.what;
    }
}

TEST_F(ComPortApply, DcbLineValues)
{
    struct Case {
        const char* what;
        std::function<void(TCustomComPort&)> set;
        std::function<bool(const Dcb&)> check;
    };
    const Case cases[] = {
        {"br110", [](TCustomComPort& p) { p.SetBaudRate(br110); }, [](const Dcb& d) { return d.BaudRate == 110; }},
        {"br14400", [](TCustomComPort& p) { p.SetBaudRate(br14400); },
         [](const Dcb& d) { return d.BaudRate == 14400; }},
        {"br56000", [](TCustomComPort& p) { p.SetBaudRate(br56000); },
         [](const Dcb& d) { return d.BaudRate == 56000; }},
        {"br115200", [](TCustomComPort& p) { p.SetBaudRate(br115200); },
         [](const Dcb& d) { return d.BaudRate == 115200; }},
        {"br256000", [](TCustomComPort& p) { p.SetBaudRate(br256000); },
         [](const Dcb& d) { return d.BaudRate == 256000; }},
        {"custom 31250",
         [](TCustomComPort& p) {
             p.SetBaudRate(brCustom);
             p.SetCustomBaudRate(31250);
         },
         [](const Dcb& d) { return d.BaudRate == 31250; }},
        {"custom 0 is sent as it is",
         [](TCustomComPort& p) {
             p.SetBaudRate(brCustom);
             p.SetCustomBaudRate(0);
         },
         [](const Dcb& d) { return d.BaudRate == 0; }},
        {"custom rate ignored unless brCustom", [](TCustomComPort& p) { p.SetCustomBaudRate(31250); },
         [](const Dcb& d) { return d.BaudRate == 9600; }},
        {"five data bits", [](TCustomComPort& p) { p.SetDataBits(dbFive); },
         [](const Dcb& d) { return d.ByteSize == 5; }},
        {"seven data bits", [](TCustomComPort& p) { p.SetDataBits(dbSeven); },
         [](const Dcb& d) { return d.ByteSize == 7; }},
        {"1.5 stop bits", [](TCustomComPort& p) { p.SetStopBits(sbOne5StopBits); },
         [](const Dcb& d) { return d.StopBits == 1; }},
        {"two stop bits", [](TCustomComPort& p) { p.SetStopBits(sbTwoStopBits); },
         [](const Dcb& d) { return d.StopBits == 2; }},
        {"odd parity", [](TCustomComPort& p) { p.Parity()->SetBits(prOdd); },
         [](const Dcb& d) { return d.Parity == 1 && d.Flags == 1; }},  // the parity kind does not set fParity
        {"space parity", [](TCustomComPort& p) { p.Parity()->SetBits(prSpace); },
         [](const Dcb& d) { return d.Parity == 4; }},
        {"event character", [](TCustomComPort& p) { p.SetEventChar('\n'); },
         [](const Dcb& d) { return d.EvtChar == '\n'; }},
        {"XON and XOFF characters",
         [](TCustomComPort& p) {
             p.FlowControl()->SetXonChar('+');
             p.FlowControl()->SetXoffChar('-');
         },
         [](const Dcb& d) { return d.XonChar == '+' && d.XoffChar == '-' && d.EofChar == 0; }},
    };
    for (const Case& c : cases) {
        const auto dcb = DcbSentFor(c.set);
        ASSERT_TRUE(dcb.has_value()) << c.what;
        EXPECT_TRUE(c.check(*dcb)) << c.what;
    }
}

// XonLim and XoffLim: a quarter of the input size, toward zero, low 16 bits.
TEST_F(ComPortApply, XonXoffLimitsFromTheInputSize)
{
    struct Case {
        std::int32_t inputSize;
        std::uint16_t limit;
    };
    const Case cases[] = {{1024, 256}, {2, 0},      {400000, 34464}, {1025, 256},  // stored as 1024
                          {3, 0},      {262144, 0}, {262148, 1},     {-8, 65534}, {-3, 0}};
    for (const Case& c : cases) {
        const auto dcb = DcbSentFor([&](TCustomComPort& p) { p.Buffer()->SetInputSize(c.inputSize); });
        ASSERT_TRUE(dcb.has_value());
        EXPECT_EQ(dcb->XonLim, c.limit) << c.inputSize;
        EXPECT_EQ(dcb->XoffLim, c.limit) << c.inputSize;
    }
}

// Each time-out goes to its own member as its 32-bit pattern.
TEST_F(ComPortApply, TimeoutsAsTheir32BitPattern)
{
    struct Case {
        std::int32_t readInterval, readMultiplier, readConstant, writeMultiplier, writeConstant;
        platform::CommTimeouts sent;
    };
    const Case cases[] = {
        {-1, 0, 0, 100, 1000, {0xFFFFFFFFu, 0, 0, 100, 1000}},  // the initial values
        {200, 200, 200, 100, 1000, {200, 200, 200, 100, 1000}},
        {1, 2, 3, 4, 5, {1, 2, 3, 4, 5}},
        {-1, -1, -1, -1, -1, {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}},
        {-2, 2147483647, -2147483647 - 1, 0, 0, {0xFFFFFFFEu, 0x7FFFFFFFu, 0x80000000u, 0, 0}},
    };
    for (const Case& c : cases) {
        TComPort p(nullptr);
        p.SetEvents({});  // no event thread: only the settings' calls are recorded
        p.Timeouts()->SetReadInterval(c.readInterval);
        p.Timeouts()->SetReadTotalMultiplier(c.readMultiplier);
        p.Timeouts()->SetReadTotalConstant(c.readConstant);
        p.Timeouts()->SetWriteTotalMultiplier(c.writeMultiplier);
        p.Timeouts()->SetWriteTotalConstant(c.writeConstant);
        p.SetConnected(true);
        const auto sent = fake.CallsOf("SetCommTimeouts");
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back().timeouts, c.sent) << c.readInterval << "," << c.readMultiplier;
        p.SetConnected(false);
    }
}

// ---------------------------------------------------------------------------
// When settings are sent

std::vector<Change> EveryChange()
{
    return {
        {"BaudRate", [](TCustomComPort& p) { p.SetBaudRate(br19200); }},
        {"CustomBaudRate", [](TCustomComPort& p) { p.SetCustomBaudRate(250000); }},
        {"DataBits", [](TCustomComPort& p) { p.SetDataBits(dbSeven); }},
        {"StopBits", [](TCustomComPort& p) { p.SetStopBits(sbTwoStopBits); }},
        {"DiscardNull", [](TCustomComPort& p) { p.SetDiscardNull(true); }},
        {"EventChar", [](TCustomComPort& p) { p.SetEventChar('#'); }},
        {"Parity.Bits", [](TCustomComPort& p) { p.Parity()->SetBits(prEven); }},
        {"Parity.Check", [](TCustomComPort& p) { p.Parity()->SetCheck(true); }},
        {"Parity.Replace", [](TCustomComPort& p) { p.Parity()->SetReplace(true); }},
        {"Parity.ReplaceChar", [](TCustomComPort& p) { p.Parity()->SetReplaceChar('?'); }},
        {"FlowControl.FlowControl", [](TCustomComPort& p) { p.FlowControl()->SetFlowControl(fcHardware); }},
        {"FlowControl.OutCTSFlow", [](TCustomComPort& p) { p.FlowControl()->SetOutCTSFlow(true); }},
        {"FlowControl.OutDSRFlow", [](TCustomComPort& p) { p.FlowControl()->SetOutDSRFlow(true); }},
        {"FlowControl.ControlDTR", [](TCustomComPort& p) { p.FlowControl()->SetControlDTR(dtrEnable); }},
        {"FlowControl.ControlRTS", [](TCustomComPort& p) { p.FlowControl()->SetControlRTS(rtsEnable); }},
        {"FlowControl.XonXoffOut", [](TCustomComPort& p) { p.FlowControl()->SetXonXoffOut(true); }},
        {"FlowControl.XonXoffIn", [](TCustomComPort& p) { p.FlowControl()->SetXonXoffIn(true); }},
        {"FlowControl.DSRSensitivity", [](TCustomComPort& p) { p.FlowControl()->SetDSRSensitivity(true); }},
        {"FlowControl.TxContinueOnXoff", [](TCustomComPort& p) { p.FlowControl()->SetTxContinueOnXoff(true); }},
        {"FlowControl.XonChar", [](TCustomComPort& p) { p.FlowControl()->SetXonChar(1); }},
        {"FlowControl.XoffChar", [](TCustomComPort& p) { p.FlowControl()->SetXoffChar(2); }},
        {"Timeouts.ReadInterval", [](TCustomComPort& p) { p.Timeouts()->SetReadInterval(200); }},
        {"Timeouts.ReadTotalMultiplier", [](TCustomComPort& p) { p.Timeouts()->SetReadTotalMultiplier(200); }},
        {"Timeouts.ReadTotalConstant", [](TCustomComPort& p) { p.Timeouts()->SetReadTotalConstant(200); }},
        {"Timeouts.WriteTotalMultiplier", [](TCustomComPort& p) { p.Timeouts()->SetWriteTotalMultiplier(1); }},
        {"Timeouts.WriteTotalConstant", [](TCustomComPort& p) { p.Timeouts()->SetWriteTotalConstant(1); }},
        {"Buffer.InputSize", [](TCustomComPort& p) { p.Buffer()->SetInputSize(4096); }},
        {"Buffer.OutputSize", [](TCustomComPort& p) { p.Buffer()->SetOutputSize(4096); }},
    };
}

// The call that re-sends the group of a change.
std::string GroupCall(const std::string& what)
{
    if (what.rfind("Timeouts.", 0) == 0)
        return "SetCommTimeouts";
    if (what.rfind("Buffer.", 0) == 0)
        return "SetupComm";
    return "SetCommState";
}

TEST_F(ComPortApply, WhileDisconnectedNoChangeMakesACall)
{
    auto changes = EveryChange();
    changes.push_back({"Port", [](TCustomComPort& p) { p.SetPort("COM7"); }});
    changes.push_back({"SyncMethod", [](TCustomComPort& p) { p.SetSyncMethod(smWindowSync); }});
    changes.push_back({"Events", [](TCustomComPort& p) { p.SetEvents(TComEvents{evRxChar}); }});
    changes.push_back({"Connected false", [](TCustomComPort& p) { p.SetConnected(false); }});
    changes.push_back({"FlowControl fcCustom", [](TCustomComPort& p) { p.FlowControl()->SetFlowControl(fcCustom); }});
    changes.push_back({"assign Parity", [](TCustomComPort& p) {
                           TComParity g;
                           g.SetBits(prOdd);
                           p.SetParity(&g);
                       }});
    changes.push_back({"assign FlowControl", [](TCustomComPort& p) {
                           TComFlowControl g;
                           p.SetFlowControl(&g);
                       }});
    changes.push_back({"assign Timeouts", [](TCustomComPort& p) {
                           TComTimeouts g;
                           p.SetTimeouts(&g);
                       }});
    changes.push_back({"assign Buffer", [](TCustomComPort& p) {
                           TComBuffer g;
                           p.SetBuffer(&g);
                       }});
    changes.push_back({"ApplySettings", [](TCustomComPort& p) { p.ApplySettings(); }});
    changes.push_back({"ClosePort", [](TCustomComPort& p) { p.ClosePort(); }});
    for (const Change& c : changes) {
        c.apply(port);
        EXPECT_TRUE(fake.Calls().empty()) << c.what << " made the call " << fake.Calls().front().name;
        fake.ClearCalls();
    }
    // ... and the stored values are the ones the next opening sends.
    port.SetConnected(true);
    const auto dcb = fake.LastDcb();
    ASSERT_TRUE(dcb.has_value());
    EXPECT_EQ(dcb->BaudRate, 19200u);
    EXPECT_EQ(dcb->Parity, 1);  // from the assigned group
    EXPECT_EQ(fake.CallsOf("CreateFileA").at(0).path, "\\\\.\\COM7");
    EXPECT_EQ(fake.CallsOf("SetupComm").at(0).inQueue, 1024u);  // the assigned group's size
}

TEST_F(ComPortApply, WhileConnectedAChangeResendsItsWholeGroupOnce)
{
    for (const Change& c : EveryChange()) {
        TComPort p(nullptr);
        p.SetEvents({});  // no event thread: only the settings' calls are recorded
        p.SetConnected(true);
        const Dcb before = *fake.LastDcb();
        fake.ClearCalls();

        c.apply(p);
        const auto expected = GroupCall(c.what);
        ASSERT_EQ(fake.Calls().size(), 1u) << c.what;
        EXPECT_EQ(fake.Calls()[0].name, expected) << c.what;
        EXPECT_EQ(fake.Calls()[0].handle, p.DeviceHandle()) << c.what;
        // Changes the DCB shows (the custom rate only counts with brCustom,
        // the replacement only with the parity check).
        const std::string what = c.what;
        if (expected == "SetCommState" && what != "CustomBaudRate" && what != "Parity.Replace" &&
            what != "Parity.ReplaceChar") {
            EXPECT_NE(fake.Calls()[0].dcb, before) << c.what;
        }
        p.SetConnected(false);
        fake.ClearCalls();
    }
}

TEST_F(ComPortApply, ASetterGivenItsCurrentValueMakesNoCall)
{
    // Values away from the initial ones, set before opening.
    for (const Change& c : EveryChange())
        c.apply(port);
    port.SetPort("COM3");
    port.SetSyncMethod(smNone);
    Open();

    auto again = EveryChange();
    again.push_back({"Port", [](TCustomComPort& p) { p.SetPort("COM3"); }});
    again.push_back({"SyncMethod", [](TCustomComPort& p) { p.SetSyncMethod(smNone); }});
    again.push_back({"Connected", [](TCustomComPort& p) { p.SetConnected(true); }});
    again.push_back({"OpenPort", [](TCustomComPort& p) { p.OpenPort(); }});
    for (const Change& c : again) {
        if (std::string(c.what) == "FlowControl.FlowControl")
            continue;  // writing the summary always re-sends (tested below)
        c.apply(port);
        EXPECT_TRUE(fake.Calls().empty()) << c.what << " made the call " << fake.Calls().front().name;
        fake.ClearCalls();
    }
    EXPECT_TRUE(port.Connected());
}

TEST_F(ComPortApply, AGroupAssignedWhileConnectedIsResentEvenWhenEqual)
{
    Open();
    const std::vector<std::pair<Change, std::string>> cases{
        {{"Parity",
          [](TCustomComPort& p) {
              TComParity g;
              p.SetParity(&g);
          }},
         "SetCommState"},
        {{"FlowControl",
          [](TCustomComPort& p) {
              TComFlowControl g;
              p.SetFlowControl(&g);
          }},
         "SetCommState"},
        {{"Timeouts",
          [](TCustomComPort& p) {
              TComTimeouts g;
              p.SetTimeouts(&g);
          }},
         "SetCommTimeouts"},
        {{"Buffer",
          [](TCustomComPort& p) {
              TComBuffer g;
              p.SetBuffer(&g);
          }},
         "SetupComm"},
        {{"its own group", [](TCustomComPort& p) { p.SetParity(p.Parity()); }}, "SetCommState"},
        {{"summary fcCustom", [](TCustomComPort& p) { p.FlowControl()->SetFlowControl(fcCustom); }}, "SetCommState"},
        {{"summary fcNone over fcNone", [](TCustomComPort& p) { p.FlowControl()->SetFlowControl(fcNone); }},
         "SetCommState"},
        // 1025 differs from the stored 1024 and is stored as 1024: still re-sent.
        {{"InputSize 1025 over 1024", [](TCustomComPort& p) { p.Buffer()->SetInputSize(1025); }}, "SetupComm"},
    };
    for (const auto& [change, call] : cases) {
        change.apply(port);
        EXPECT_EQ(CallNames(), std::vector<std::string>{call}) << change.what;
        fake.ClearCalls();
    }
    EXPECT_EQ(port.Buffer()->InputSize(), 1024);
}

TEST_F(ComPortApply, AssigningAGroupDirectlySendsNothing)
{
    Open();
    TComParity parity;
    parity.SetBits(prOdd);
    port.Parity()->Assign(&parity);
    TComBuffer buffer;
    buffer.SetInputSize(64);
    port.Buffer()->Assign(&buffer);
    EXPECT_TRUE(fake.Calls().empty());
    EXPECT_EQ(port.Parity()->Bits(), prOdd);
}

TEST_F(ComPortApply, SyncMethodCannotChangeWhileConnected)
{
    Open();
    try {
        port.SetSyncMethod(smWindowSync);
        FAIL() << "no error";
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), 14);
        EXPECT_EQ(e.WinErrorCode(), -1);
        EXPECT_EQ(e.Message(), "Cannot set property while connected");
    }
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    port.SetSyncMethod(smThreadSync);  // the current value: nothing, no error
    EXPECT_TRUE(fake.Calls().empty());

    port.SetConnected(false);
    port.SetSyncMethod(smWindowSync);
    EXPECT_EQ(port.SyncMethod(), smWindowSync);
}

TEST_F(ComPortApply, EventsChangedWhileConnectedAreOnlyStored)
{
    Open();
    port.SetEvents(TComEvents{evRxChar, evRx80Full});
    port.SetEvents(TComEvents{evRxChar, evRx80Full});
    EXPECT_TRUE(fake.Calls().empty());
    EXPECT_EQ(port.Events().ToBits(), 0x201);
}

TEST_F(ComPortApply, PortChangedWhileConnectedReopensTheDevice)
{
    Open();
    const platform::Handle first = port.DeviceHandle();
    port.SetPort("com1");  // differs from "COM1": compared case-sensitively
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"PurgeComm", "CloseHandle", "CreateFileA", "SetupComm",
                                                     "SetCommState", "SetCommTimeouts", "GetCommModemStatus",
                                                     "GetCommModemStatus", "GetCommModemStatus"}));
    EXPECT_EQ(fake.CallsOf("PurgeComm").at(0).flags, 3u);
    EXPECT_EQ(fake.CallsOf("CloseHandle").at(0).handle, first);
    EXPECT_EQ(fake.CallsOf("CreateFileA").at(0).path, "\\\\.\\com1");
    EXPECT_FALSE(fake.IsOpen(first));
    EXPECT_TRUE(fake.IsOpen(port.DeviceHandle()));
    EXPECT_TRUE(port.Connected());
}

TEST_F(ComPortApply, ClosingAbortsReleasesAndForgetsTheHandle)
{
    Open();
    const platform::Handle h = port.DeviceHandle();
    port.SetConnected(false);
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"PurgeComm", "CloseHandle"}));
    EXPECT_EQ(fake.CallsOf("PurgeComm").at(0).handle, h);
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(fake.OpenDeviceCount(), 0u);
    EXPECT_EQ(port.DeviceHandle(), platform::InvalidHandle);

    fake.ClearCalls();
    port.ClosePort();
    EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(ComPortApply, DestroyingAnOpenPortClosesIt)
{
    {
        TComPort p(nullptr);
        p.SetEvents({});  // no event thread: only the settings' calls are recorded
        p.SetPort("COM2");
        p.SetConnected(true);
        EXPECT_EQ(fake.OpenDeviceCount(), 1u);
    }
    EXPECT_EQ(fake.OpenDeviceCount(), 0u);
}

TEST_F(ComPortApply, RefusedSettingsRaiseNothingAndKeepTheNewValue)
{
    fake.FailCall("SetupComm", platform::ErrorInvalidParameter);
    fake.FailCall("SetCommState", platform::ErrorInvalidParameter);
    fake.FailCall("SetCommTimeouts", platform::ErrorInvalidParameter);
    port.SetConnected(true);
    EXPECT_TRUE(port.Connected());
    port.SetBaudRate(brCustom);
    port.SetCustomBaudRate(0);
    port.Timeouts()->SetReadInterval(5);
    port.Buffer()->SetInputSize(-4);
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(port.CustomBaudRate(), 0);
    EXPECT_EQ(port.Timeouts()->ReadInterval(), 5);
    EXPECT_EQ(port.Buffer()->InputSize(), -4);
    EXPECT_EQ(fake.LastDcb()->BaudRate, 0u);
}

// While a stored form description is read nothing is sent; Connected is
// recorded and acted on once loading has finished, with the final settings.
TEST_F(ComPortApply, LoadingSendsNothingAndOpensAfterwards)
{
    port.BeginLoading();
    port.SetConnected(true);
    EXPECT_TRUE(port.Connected());
    port.SetBaudRate(br19200);
    port.SetPort("COM4");
    port.SetSyncMethod(smNone);
    port.Parity()->SetBits(prEven);
    port.Timeouts()->SetReadInterval(200);
    TComBuffer buffer;
    buffer.SetInputSize(2048);
    port.SetBuffer(&buffer);
    port.ApplySettings();
    EXPECT_TRUE(fake.Calls().empty());

    port.EndLoading();
    EXPECT_FALSE(port.Loading());
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(CallNames(),
              (std::vector<std::string>{"CreateFileA", "SetupComm", "SetCommState", "SetCommTimeouts",
                                        "GetCommModemStatus", "GetCommModemStatus", "GetCommModemStatus"}));
    EXPECT_EQ(fake.CallsOf("CreateFileA").at(0).path, "\\\\.\\COM4");
    EXPECT_EQ(fake.CallsOf("SetupComm").at(0).inQueue, 2048u);
    EXPECT_EQ(fake.LastDcb()->BaudRate, 19200u);
    EXPECT_EQ(fake.LastDcb()->Parity, 2);
    EXPECT_EQ(fake.CallsOf("SetCommTimeouts").at(0).timeouts.ReadIntervalTimeout, 200u);
}

TEST_F(ComPortApply, LoadingWithoutConnectedLeavesThePortClosed)
{
    port.BeginLoading();
    port.SetBaudRate(br19200);
    port.EndLoading();
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(ComPortApply, AnOpenPortBeingLoadedSendsNothing)
{
    Open();
    port.BeginLoading();
    port.SetBaudRate(br38400);
    port.Buffer()->SetOutputSize(64);
    port.Timeouts()->SetReadInterval(1);
    EXPECT_TRUE(fake.Calls().empty());

    // After loading the port stays open on the same device, with the new
    // settings sent; closing and opening again work as before.
    const platform::Handle h = port.DeviceHandle();
    port.EndLoading();
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.DeviceHandle(), h);
    EXPECT_EQ(fake.OpenDeviceCount(), 1u);
    EXPECT_EQ(fake.CountOf("CreateFileA"), 0u);
    ASSERT_TRUE(fake.LastDcb().has_value());
    EXPECT_EQ(fake.LastDcb()->BaudRate, 38400u);
    ASSERT_EQ(fake.CallsOf("SetupComm").size(), 1u);
    EXPECT_EQ(fake.CallsOf("SetupComm").at(0).outQueue, 64u);
    ASSERT_EQ(fake.CallsOf("SetCommTimeouts").size(), 1u);
    EXPECT_EQ(fake.CallsOf("SetCommTimeouts").at(0).timeouts.ReadIntervalTimeout, 1u);

    port.SetConnected(false);
    EXPECT_EQ(fake.OpenDeviceCount(), 0u);
    port.SetConnected(true);
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(fake.OpenDeviceCount(), 1u);
}

// Connected recorded while an open port is loaded: what is recorded last
// holds once loading has finished, and the device is never opened twice.
TEST_F(ComPortApply, ConnectedRecordedWhileAnOpenPortIsLoaded)
{
    struct Case {
        const char* what;
        std::vector<bool> recorded;
        bool openAfter;
    };
    const Case cases[] = {
        {"closed while loading", {false}, false},
        {"closed, then opened again while loading", {false, true}, true},
        {"opened again while loading", {true}, true},
    };
    for (const Case& c : cases) {
        Open();
        const platform::Handle h = port.DeviceHandle();
        port.BeginLoading();
        for (bool value : c.recorded) {
            port.SetConnected(value);
            EXPECT_EQ(port.Connected(), value) << c.what;
        }
        EXPECT_TRUE(fake.Calls().empty()) << c.what;
        port.EndLoading();
        EXPECT_EQ(port.Connected(), c.openAfter) << c.what;
        EXPECT_EQ(fake.OpenDeviceCount(), c.openAfter ? 1u : 0u) << c.what;
        EXPECT_EQ(fake.CountOf("CreateFileA"), 0u) << c.what;
        if (c.openAfter) {
            EXPECT_EQ(port.DeviceHandle(), h) << c.what;
        } else {
            EXPECT_FALSE(fake.IsOpen(h)) << c.what;
            EXPECT_EQ(port.DeviceHandle(), platform::InvalidHandle) << c.what;
        }
        port.SetConnected(false);
        fake.ClearCalls();
    }
}

// A new device name given while an open port is loaded takes the port to
// that device once loading has finished.
TEST_F(ComPortApply, APortNameLoadedIntoAnOpenPortReopensOnIt)
{
    Open();
    const platform::Handle h = port.DeviceHandle();
    port.BeginLoading();
    port.SetPort("COM5");
    EXPECT_TRUE(fake.Calls().empty());
    port.EndLoading();
    EXPECT_TRUE(port.Connected());
    EXPECT_FALSE(fake.IsOpen(h));
    EXPECT_EQ(fake.OpenDeviceCount(), 1u);
    ASSERT_EQ(fake.CallsOf("CreateFileA").size(), 1u);
    EXPECT_EQ(fake.CallsOf("CreateFileA").at(0).path, "\\\\.\\COM5");
}

// A port whose settings cannot be applied is closed again and the error
// reaches the caller.
class RefusingPort : public TComPort {
public:
    using TComPort::TComPort;
    void ApplySettings() override { throw std::runtime_error("refused"); }
};

TEST_F(ComPortApply, AnErrorWhileApplyingClosesTheDeviceAgain)
{
    RefusingPort p(nullptr);
    EXPECT_THROW(p.SetConnected(true), std::runtime_error);
    EXPECT_FALSE(p.Connected());
    EXPECT_EQ(CallNames(), (std::vector<std::string>{"CreateFileA", "CloseHandle"}));
    EXPECT_EQ(fake.OpenDeviceCount(), 0u);
}

// Opening after loading raises nothing: the error goes to the central
// exception handler, naming the component, and the port stays closed.
TEST_F(ComPortApply, AnErrorWhileOpeningAfterLoadingGoesToTheCentralHandler)
{
    std::vector<std::string> seen;
    const void* source = nullptr;
    const TExceptionHandler before = SetExceptionHandler([&](const std::exception& e, const void* s) {
        seen.push_back(e.what());
        source = s;
    });
    RefusingPort p(nullptr);
    p.BeginLoading();
    p.SetConnected(true);
    EXPECT_NO_THROW(p.EndLoading());
    SetExceptionHandler(before);

    EXPECT_EQ(seen, std::vector<std::string>{"refused"});
    EXPECT_EQ(source, &p);
    EXPECT_FALSE(p.Connected());
    EXPECT_FALSE(p.Loading());
    EXPECT_EQ(fake.OpenDeviceCount(), 0u);
}

}  // namespace
