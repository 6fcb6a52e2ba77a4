#pragma once
// Every setting that saving and loading cover, as one comparable value, and
// a way to move all of them away from their initial values.

#include <ostream>
#include <string>

#include "serial/ComPort.h"
#include "serial/ComPortText.h"

inline const TPersistGroups AllGroups = TPersistGroups{pgBasic,    pgFlowDetails,   pgBuffer,
                                                       pgTimeouts, pgParityDetails, pgMisc};

// Every setting that is saved and loaded.
struct Settings {
    std::string port;
    TBaudRate baudRate;
    std::int32_t customBaudRate;
    TStopBits stopBits;
    TDataBits dataBits;
    TParityBits parity;
    char eventChar;
    bool discardNull;
    bool check;
    bool replace;
    char replaceChar;
    std::int32_t outputSize, inputSize;
    std::int32_t readInterval, readTotalConstant, readTotalMultiplier, writeTotalConstant, writeTotalMultiplier;
    TRTSFlowControl controlRTS;
    TDTRFlowControl controlDTR;
    bool dsrSensitivity, outCTSFlow, outDSRFlow, txContinueOnXoff, xonXoffIn, xonXoffOut;
    char xoffChar, xonChar;

    bool operator==(const Settings&) const = default;

    friend void PrintTo(const Settings& s, std::ostream* os)
    {
        *os << "{Port " << s.port << ", " << BaudRateText(s.baudRate) << "/" << s.customBaudRate << ", "
            << StopBitsText(s.stopBits) << ", " << DataBitsText(s.dataBits) << ", " << ParityText(s.parity)
            << ", EventChar " << CharText(s.eventChar) << ", DiscardNull " << s.discardNull << ", Check " << s.check
            << ", Replace " << s.replace << " " << CharText(s.replaceChar) << ", Buffer " << s.outputSize << "/"
            << s.inputSize << ", Timeouts " << s.readInterval << " " << s.readTotalConstant << " "
            << s.readTotalMultiplier << " " << s.writeTotalConstant << " " << s.writeTotalMultiplier << ", RTS "
            << RTSControlText(s.controlRTS) << ", DTR " << DTRControlText(s.controlDTR) << ", flags "
            << s.dsrSensitivity << s.outCTSFlow << s.outDSRFlow << s.txContinueOnXoff << s.xonXoffIn << s.xonXoffOut
            << ", Xoff " << CharText(s.xoffChar) << ", Xon " << CharText(s.xonChar) << "}";
    }
};

inline Settings Snapshot(const TCustomComPort& p)
{
    const TComFlowControl& f = *p.FlowControl();
    return {p.Port(),
            p.BaudRate(),
            p.CustomBaudRate(),
            p.StopBits(),
            p.DataBits(),
            p.Parity()->Bits(),
            p.EventChar(),
            p.DiscardNull(),
            p.Parity()->Check(),
            p.Parity()->Replace(),
            p.Parity()->ReplaceChar(),
            p.Buffer()->OutputSize(),
            p.Buffer()->InputSize(),
            p.Timeouts()->ReadInterval(),
            p.Timeouts()->ReadTotalConstant(),
            p.Timeouts()->ReadTotalMultiplier(),
            p.Timeouts()->WriteTotalConstant(),
            p.Timeouts()->WriteTotalMultiplier(),
            f.ControlRTS(),
            f.ControlDTR(),
            f.DSRSensitivity(),
            f.OutCTSFlow(),
            f.OutDSRFlow(),
            f.TxContinueOnXoff(),
            f.XonXoffIn(),
            f.XonXoffOut(),
            f.XoffChar(),
            f.XonChar()};
}

// Moves every saved setting away from its initial value. The characters are
// ones that stores like to treat specially.
inline void SetAway(TCustomComPort& p)
{
    p.SetPort("/dev/ttyUSB3");
    p.SetBaudRate(brCustom);
    p.SetCustomBaudRate(31250);
    p.SetStopBits(sbTwoStopBits);
    p.SetDataBits(dbSeven);
    p.Parity()->SetBits(prMark);
    p.SetEventChar('#');
    p.SetDiscardNull(true);
    p.Parity()->SetCheck(true);
    p.Parity()->SetReplace(true);
    p.Parity()->SetReplaceChar(';');
    p.Buffer()->SetOutputSize(2048);
    p.Buffer()->SetInputSize(4096);
    p.Timeouts()->SetReadInterval(50);
    p.Timeouts()->SetReadTotalConstant(200);
    p.Timeouts()->SetReadTotalMultiplier(3);
    p.Timeouts()->SetWriteTotalConstant(-1);
    p.Timeouts()->SetWriteTotalMultiplier(7);
    TComFlowControl& f = *p.FlowControl();
    f.SetControlRTS(rtsToggle);
    f.SetControlDTR(dtrHandshake);
    f.SetDSRSensitivity(true);
    f.SetOutCTSFlow(true);
    f.SetOutDSRFlow(true);
    f.SetTxContinueOnXoff(true);
    f.SetXonXoffIn(true);
    f.SetXonXoffOut(false);
    f.SetXoffChar('"');
    f.SetXonChar(static_cast<char>(200));
}
