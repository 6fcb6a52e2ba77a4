// Turning the settings into the system's serial parameters (DCB, time-outs,
// driver queue sizes) and sending them to the open device.

#include <array>

#include "serial/ComPort.h"

namespace {

using platform::DWORD;

// Bits per second of each TBaudRate member; brCustom takes CustomBaudRate.
constexpr std::array<DWORD, 16> kBaudRates{0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                           14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};

// A flag bit when the condition holds.
constexpr DWORD If(bool condition, DWORD bit) { return condition ? bit : 0u; }

}  // namespace

platform::Dcb TCustomComPort::BuildDcb() const
{
    const TComParity& parity = *parity_;
    const TComFlowControl& flow = *flowControl_;
    const bool errorChar = parity.Check() && parity.Replace();

    platform::Dcb dcb;  // every member not set below is zero
    dcb.DCBlength = 28;
    if (baudRate_ == brCustom)
        dcb.BaudRate = static_cast<DWORD>(customBaudRate_);
    else if (baudRate_ < kBaudRates.size())
        dcb.BaudRate = kBaudRates[baudRate_];
    // (a value outside the enumeration sends rate 0, which the device refuses)

    dcb.Flags = platform::DcbBinary                                                //
                | If(parity.Check(), platform::DcbParity)                          //
                | If(flow.OutCTSFlow(), platform::DcbOutxCtsFlow)                  //
                | If(flow.OutDSRFlow(), platform::DcbOutxDsrFlow)                  //
                | (DWORD{flow.ControlDTR()} & 3u) << platform::DcbDtrControlShift  //
                | If(flow.DSRSensitivity(), platform::DcbDsrSensitivity)           //
                | If(flow.TxContinueOnXoff(), platform::DcbTxContinueOnXoff)       //
                | If(flow.XonXoffOut(), platform::DcbOutX)                         //
                | If(flow.XonXoffIn(), platform::DcbInX)                           //
                | If(errorChar, platform::DcbErrorChar)                            //
                | If(discardNull_, platform::DcbNull)                              //
                | (DWORD{flow.ControlRTS()} & 3u) << platform::DcbRtsControlShift;
    // fAbortOnError stays 0.

    // A quarter of the input queue, toward zero, low 16 bits.
    const auto limit = static_cast<std::uint16_t>(buffer_->InputSize() / 4);
    dcb.XonLim = limit;
    dcb.XoffLim = limit;
    dcb.ByteSize = static_cast<std::uint8_t>(5 + dataBits_);
    dcb.Parity = parity.Bits();
    dcb.StopBits = stopBits_;
    dcb.XonChar = flow.XonChar();
    dcb.XoffChar = flow.XoffChar();
    dcb.ErrorChar = errorChar ? parity.ReplaceChar() : '\0';
    dcb.EofChar = 0;
    dcb.EvtChar = eventChar_;
    return dcb;
}

platform::CommTimeouts TCustomComPort::BuildTimeouts() const
{
    // Each value as its 32-bit pattern: -1 is MAXDWORD.
    platform::CommTimeouts t;
    t.ReadIntervalTimeout = static_cast<DWORD>(timeouts_->ReadInterval());
    t.ReadTotalTimeoutMultiplier = static_cast<DWORD>(timeouts_->ReadTotalMultiplier());
    t.ReadTotalTimeoutConstant = static_cast<DWORD>(timeouts_->ReadTotalConstant());
    t.WriteTotalTimeoutMultiplier = static_cast<DWORD>(timeouts_->WriteTotalMultiplier());
    t.WriteTotalTimeoutConstant = static_cast<DWORD>(timeouts_->WriteTotalConstant());
    return t;
}

// The results of the three calls are ignored on purpose: a refused setting
// leaves the device as it was and the property with its new value.

void TCustomComPort::ApplyLineSettings()
{
    if (!ApplyAllowed())
        return;
    platform::SerialApi().SetCommState(deviceHandle_, BuildDcb());
}

void TCustomComPort::ApplyTimeoutSettings()
{
    if (!ApplyAllowed())
        return;
    platform::SerialApi().SetCommTimeouts(deviceHandle_, BuildTimeouts());
}

void TCustomComPort::ApplyBufferSizes()
{
    if (!ApplyAllowed())
        return;
    platform::SerialApi().SetupComm(deviceHandle_, static_cast<DWORD>(buffer_->InputSize()),
                                    static_cast<DWORD>(buffer_->OutputSize()));
}

void TCustomComPort::ApplySettings()
{
    ApplyBufferSizes();
    ApplyLineSettings();
    ApplyTimeoutSettings();
}
