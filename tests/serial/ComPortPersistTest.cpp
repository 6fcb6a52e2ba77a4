// Saving and loading the port's settings: which keys, in which order, with
// which texts; how loading treats absent keys in each kind of store; errors
// ending the operation at their key; and an open port receiving each changed
// setting by itself.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/ComPort.h"
#include "serial/ComPortText.h"
#include "serial/SettingsStore.h"
#include "ComPortPersistMemoryStores.h"
#include "ComPortPersistSettings.h"
#include "FakePortFixture.h"

namespace {

std::vector<std::string> Keys(const std::vector<StoreCall>& calls)
{
    std::vector<std::string> keys;
    for (const auto& c : calls)
        keys.push_back(c.key);
    return keys;
}

class PersistTest : public ::testing::Test {
protected:
    PersistTest() { port.SetName("ComPort1"); }

    TComPort port{nullptr};
    MemoryIniStore ini;
    MemoryRegistryKey reg;
};

TEST_F(PersistTest, DefaultSettingsSaveTheSixBasicKeys)
{
    port.SaveToIni(ini);
    port.SaveToRegistry(reg);

    const std::vector<StoreCall> expected{
        {"PutText", "ComPort1", "Port", "COM1"},   {"PutText", "ComPort1", "BaudRate", "9600"},
        {"PutText", "ComPort1", "StopBits", "1"},  {"PutText", "ComPort1", "DataBits", "8"},
        {"PutText", "ComPort1", "Parity", "None"}, {"PutText", "ComPort1", "FlowControl", "None"},
    };
    EXPECT_EQ(ini.calls, expected);
    EXPECT_EQ(ini.values.size(), 6u);

    std::vector<StoreCall> expectedReg = expected;
    for (auto& c : expectedReg)
        c.section.clear();
    EXPECT_EQ(reg.calls, expectedReg);
}

TEST_F(PersistTest, NoGroupsNoWork)
{
    port.SetPersistGroups({});
    SetAway(port);
    const Settings before = Snapshot(port);
    ini.values[{"ComPort1", "Port"}] = std::string("COM9");
    ini.values[{"ComPort1", "Buffer.InputSize"}] = 64;
    reg.values["Port"] = std::string("COM9");

    port.SaveToIni(ini);
    port.SaveToRegistry(reg);
    port.LoadFromIni(ini);
    port.LoadFromRegistry(reg);

    EXPECT_TRUE(ini.calls.empty());
    EXPECT_TRUE(reg.calls.empty());
    EXPECT_EQ(Snapshot(port), before);
}

TEST_F(PersistTest, SaveVisitsEveryGroupInItsFixedOrder)
{
    port.SetPersistGroups(AllGroups);
    SetAway(port);

    port.SaveToIni(ini);
    port.SaveToRegistry(reg);

    const std::vector<std::pair<std::string, StoredValue>> expected{
        {"Port", "/dev/ttyUSB3"},
        {"BaudRate", "Custom"},
        {"CustomBaudRate", 31250},
        {"StopBits", "2"},
        {"DataBits", "7"},
        {"Parity", "Mark"},
        {"FlowControl", "Custom"},
        {"EventChar", "#"},
        {"DiscardNull", "Yes"},
        {"Parity.Check", "Yes"},
        {"Parity.Replace", "Yes"},
        {"Parity.ReplaceChar", ";"},
        {"Buffer.OutputSize", 2048},
        {"Buffer.InputSize", 4096},
        {"Timeouts.ReadInterval", 50},
        {"Timeouts.ReadTotalConstant", 200},
        {"Timeouts.ReadTotalMultiplier", 3},
        {"Timeouts.WriteTotalConstant", -1},
        {"Timeouts.WriteTotalMultiplier", 7},
        {"FlowControl.ControlRTS", "Toggle"},
        {"FlowControl.ControlDTR", "Handshake"},
        {"FlowControl.DSRSensitivity", "Yes"},
        {"FlowControl.OutCTSFlow", "Yes"},
        {"FlowControl.OutDSRFlow", "Yes"},
        {"FlowControl.TxContinueOnXoff", "Yes"},
        {"FlowControl.XonXoffIn", "Yes"},
        {"FlowControl.XonXoffOut", "No"},
        {"FlowControl.XoffChar", "\""},
        {"FlowControl.XonChar", "#200"},
    };
    for (const auto* calls : {&ini.calls, &reg.calls}) {
        ASSERT_EQ(calls->size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const StoreCall& c = (*calls)[i];
            EXPECT_EQ(c.key, expected[i].first) << "at " << i;
            EXPECT_EQ(c.value, expected[i].second) << c.key;
            EXPECT_EQ(c.op, std::holds_alternative<std::string>(expected[i].second) ? "PutText" : "PutInt") << c.key;
        }
    }
}

TEST_F(PersistTest, CustomBaudRateOnlyWithCustomRate)
{
    ini.values[{"ComPort1", "CustomBaudRate"}] = 1234;
    reg.values["CustomBaudRate"] = 1234;
    port.SetBaudRate(br19200);
    port.SetCustomBaudRate(31250);

    port.SaveToIni(ini);
    port.SaveToRegistry(reg);

    EXPECT_EQ(ini.Section("ComPort1")["CustomBaudRate"], StoredValue(1234));
    EXPECT_EQ(reg.values["CustomBaudRate"], StoredValue(1234));
    EXPECT_EQ(ini.Section("ComPort1")["BaudRate"], StoredValue("19200"));
}

TEST_F(PersistTest, FlowControlIsSavedAsThePresetTheDetailsMake)
{
    const struct {
        const char* what;
        TRTSFlowControl rts;
        bool cts;
        bool xonIn;
        bool xonOut;
        TDTRFlowControl dtr;
        const char* text;
    } cases[] = {
        {"nothing", rtsDisable, false, false, false, dtrDisable, "None"},
        {"RTS/CTS", rtsHandshake, true, false, false, dtrDisable, "Hardware"},
        {"RTS/CTS and DTR handshake", rtsHandshake, true, false, false, dtrHandshake, "Hardware"},
        {"XON/XOFF", rtsDisable, false, true, true, dtrEnable, "Software"},
        {"XON/XOFF one way", rtsDisable, false, true, false, dtrDisable, "Custom"},
        {"RTS/CTS and XON/XOFF", rtsHandshake, true, true, true, dtrDisable, "Custom"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TComFlowControl& f = *port.FlowControl();
        f.SetControlRTS(c.rts);
        f.SetOutCTSFlow(c.cts);
        f.SetXonXoffIn(c.xonIn);
        f.SetXonXoffOut(c.xonOut);
        f.SetControlDTR(c.dtr);
        port.SaveToIni(ini);
        EXPECT_EQ(ini.Section("ComPort1")["FlowControl"], StoredValue(c.text));
    }
}

TEST_F(PersistTest, SavedSettingsLoadBackFromEitherStore)
{
    port.SetPersistGroups(AllGroups);
    SetAway(port);
    port.SaveToIni(ini);
    port.SaveToRegistry(reg);

    TComPort fromIni(nullptr);
    fromIni.SetName("ComPort1");
    fromIni.SetPersistGroups(AllGroups);
    fromIni.LoadFromIni(ini);
    EXPECT_EQ(Snapshot(fromIni), Snapshot(port));

    TComPort fromRegistry(nullptr);
    fromRegistry.SetPersistGroups(AllGroups);
    fromRegistry.LoadFromRegistry(reg);
    EXPECT_EQ(Snapshot(fromRegistry), Snapshot(port));
}

TEST_F(PersistTest, IniLoadAsksWithTheCurrentValuesSoAnEmptySectionChangesNothing)
{
    port.SetPersistGroups(AllGroups);
    SetAway(port);
    port.SetBaudRate(br115200);  // not custom: see the next test
    const Settings before = Snapshot(port);
    ini.values[{"Other", "Port"}] = std::string("COM9");

    port.LoadFromIni(ini);

    EXPECT_EQ(Snapshot(port), before);
    ASSERT_EQ(ini.calls.size(), 28u);  // every key but CustomBaudRate
    EXPECT_EQ(ini.calls[0], (StoreCall{"GetText", "ComPort1", "Port", "/dev/ttyUSB3"}));
    EXPECT_EQ(ini.calls[1], (StoreCall{"GetText", "ComPort1", "BaudRate", "115200"}));
    EXPECT_EQ(ini.calls[5], (StoreCall{"GetText", "ComPort1", "FlowControl", "Custom"}));
    EXPECT_EQ(ini.calls[12], (StoreCall{"GetInt", "ComPort1", "Buffer.InputSize", 4096}));
    EXPECT_EQ(ini.calls[27], (StoreCall{"GetText", "ComPort1", "FlowControl.XonChar", "#200"}));
}

TEST_F(PersistTest, IniCustomRateWithoutItsKeyLoads9600)
{
    port.SetCustomBaudRate(31250);
    ini.values[{"ComPort1", "BaudRate"}] = std::string("custom");

    port.LoadFromIni(ini);

    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(port.CustomBaudRate(), 9600);
    EXPECT_EQ(ini.calls[2], (StoreCall{"GetInt", "ComPort1", "CustomBaudRate", 9600}));

    ini.values[{"ComPort1", "CustomBaudRate"}] = 250000;
    port.LoadFromIni(ini);
    EXPECT_EQ(port.CustomBaudRate(), 250000);
}

TEST_F(PersistTest, EmptyRegistryKeyGivesTheFallbacks)
{
    port.SetPort("COM7");
    port.SetBaudRate(br115200);
    port.SetStopBits(sbTwoStopBits);
    port.SetDataBits(dbSeven);
    port.Parity()->SetBits(prEven);
    port.FlowControl()->SetControlRTS(rtsEnable);
    port.FlowControl()->SetXonXoffIn(true);

    port.LoadFromRegistry(reg);

    EXPECT_EQ(port.Port(), "");
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_EQ(port.Parity()->Bits(), prNone);
    EXPECT_EQ(port.FlowControl()->ControlRTS(), rtsEnable);
    EXPECT_TRUE(port.FlowControl()->XonXoffIn());
    EXPECT_EQ(port.FlowControl()->FlowControl(), fcCustom);
    EXPECT_EQ(Keys(reg.calls),
              (std::vector<std::string>{"Port", "BaudRate", "StopBits", "DataBits", "Parity", "FlowControl"}));
}

TEST_F(PersistTest, RegistryWithoutAnIntegerFailsAtThatKey)
{
    port.SetPersistGroups({pgBuffer});
    reg.values["Buffer.InputSize"] = 4096;
    const Settings before = Snapshot(port);

    try {
        port.LoadFromRegistry(reg);
        FAIL() << "no error";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Failed to get data for 'Buffer.OutputSize'");
    }
    EXPECT_EQ(Snapshot(port), before);
}

TEST_F(PersistTest, FailuresEndTheOperationAtTheirKeyAndKeepWhatWasAssigned)
{
    // Loading: the custom rate must exist in a registry key.
    reg.values["Port"] = std::string("COM4");
    reg.values["BaudRate"] = std::string("Custom");
    reg.values["StopBits"] = std::string("2");
    try {
        port.LoadFromRegistry(reg);
        FAIL() << "no error";
    } catch (const ERegistryException& e) {
        EXPECT_EQ(e.Message(), "Failed to get data for 'CustomBaudRate'");
    }
    EXPECT_EQ(port.Port(), "COM4");
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);

    // A value of the wrong kind.
    reg.values["CustomBaudRate"] = std::string("96");
    EXPECT_THROW(
        {
            try {
                port.LoadFromRegistry(reg);
            } catch (const ERegistryException& e) {
                EXPECT_EQ(e.Message(), "Invalid data type for 'CustomBaudRate'");
                throw;
            }
        },
        ERegistryException);

    // Saving: the store's own error reaches the caller; later keys are not
    // written.
    port.SetBaudRate(br9600);
    reg.calls.clear();
    reg.failAt = "DataBits";
    EXPECT_THROW(port.SaveToRegistry(reg), ERegistryException);
    EXPECT_EQ(Keys(reg.calls), (std::vector<std::string>{"Port", "BaudRate", "StopBits", "DataBits"}));

    // An INI store's error is not caught either.
    ini.values[{"ComPort1", "Port"}] = std::string("COM5");
    ini.values[{"ComPort1", "DataBits"}] = std::string("5");
    ini.failAt = "StopBits";
    EXPECT_THROW(port.LoadFromIni(ini), EStoreFault);
    EXPECT_EQ(port.Port(), "COM5");
    EXPECT_EQ(port.DataBits(), dbEight);
}

TEST_F(PersistTest, WithFlowDetailsTheDetailsDecide)
{
    port.SetPersistGroups({pgBasic, pgFlowDetails});
    const std::vector<std::pair<std::string, std::string>> stored{
        {"FlowControl", "Hardware"},      {"FlowControl.ControlRTS", "Disable"}, {"FlowControl.OutCTSFlow", "No"},
        {"FlowControl.XonXoffIn", "Yes"}, {"FlowControl.XonXoffOut", "Yes"},
    };
    for (const auto& [key, text] : stored) {
        ini.values[{"ComPort1", key}] = text;
        reg.values[key] = text;
    }

    port.LoadFromIni(ini);
    EXPECT_EQ(port.FlowControl()->FlowControl(), fcSoftware);

    TComPort other(nullptr);
    other.SetPersistGroups({pgBasic, pgFlowDetails});
    other.LoadFromRegistry(reg);
    EXPECT_EQ(other.FlowControl()->FlowControl(), fcSoftware);
    EXPECT_EQ(other.FlowControl()->ControlRTS(), rtsDisable);
    EXPECT_FALSE(other.FlowControl()->OutCTSFlow());
}

TEST_F(PersistTest, AFlowControlTextThatIsNoPresetChangesNoDetail)
{
    port.FlowControl()->SetControlRTS(rtsToggle);
    port.FlowControl()->SetOutCTSFlow(true);
    port.FlowControl()->SetXonXoffOut(true);
    const Settings before = Snapshot(port);
    for (const char* text : {"Custom", "custom", "Hardwar", "RTS/CTS"}) {
        ini.values[{"ComPort1", "FlowControl"}] = std::string(text);
        port.LoadFromIni(ini);
        EXPECT_EQ(Snapshot(port), before) << text;
    }
    ini.values[{"ComPort1", "FlowControl"}] = std::string("none");
    port.LoadFromIni(ini);
    EXPECT_EQ(port.FlowControl()->FlowControl(), fcNone);
}

// --- On the fake device

class PersistOnDeviceTest : public FakePortTest {
protected:
    PersistOnDeviceTest()
    {
        port.SetName("ComPort1");
        port.SetEvents({});  // no event thread: only the settings' calls are made
        port.SetPersistGroups({pgBasic, pgBuffer, pgTimeouts});
    }

    MemoryIniStore ini;
};

TEST_F(PersistOnDeviceTest, AClosedPortLoadsWithoutCallingTheDevice)
{
    ini.values[{"ComPort1", "BaudRate"}] = std::string("19200");
    ini.values[{"ComPort1", "Buffer.InputSize"}] = 4096;
    port.LoadFromIni(ini);
    EXPECT_EQ(port.BaudRate(), br19200);
    EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(PersistOnDeviceTest, AnOpenPortGetsEachChangedSettingByItselfInKeyOrder)
{
    Open();
    const std::vector<std::pair<std::string, StoredValue>> stored{
        {"Port", "COM1"},                       // unchanged
        {"BaudRate", "19200"},                  // changed
        {"StopBits", "2"},                      // changed
        {"DataBits", "8"},                      // unchanged
        {"Parity", "Even"},                     // changed
        {"FlowControl", "None"},                // a preset is always sent
        {"Buffer.OutputSize", 2048},            // changed
        {"Buffer.InputSize", 1024},             // unchanged
        {"Timeouts.ReadInterval", 50},          // changed
        {"Timeouts.WriteTotalConstant", 1000},  // unchanged
    };
    for (const auto& [key, value] : stored)
        ini.values[{"ComPort1", key}] = value;

    port.LoadFromIni(ini);

    ASSERT_EQ(CallNames(), (std::vector<std::string>{"SetCommState", "SetCommState", "SetCommState", "SetCommState",
                                                     "SetupComm", "SetCommTimeouts"}));
    const auto dcbs = fake.CallsOf("SetCommState");
    EXPECT_EQ(dcbs[0].dcb.BaudRate, 19200u);
    EXPECT_EQ(dcbs[0].dcb.StopBits, 0);
    EXPECT_EQ(dcbs[1].dcb.StopBits, 2);
    EXPECT_EQ(dcbs[1].dcb.Parity, 0);
    EXPECT_EQ(dcbs[2].dcb.Parity, 2);
    EXPECT_EQ(dcbs[3].dcb.Parity, 2);
    const auto setup = fake.CallsOf("SetupComm");
    EXPECT_EQ(setup[0].inQueue, 1024u);
    EXPECT_EQ(setup[0].outQueue, 2048u);
    EXPECT_EQ(fake.CallsOf("SetCommTimeouts")[0].timeouts.ReadIntervalTimeout, 50u);
}

}  // namespace
