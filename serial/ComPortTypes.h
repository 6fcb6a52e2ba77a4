#pragma once
// The serial component's enumerations (with the member names a stored form
// description uses), its sets, its handler types and the initial values of
// its settings.

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "framework/Component.h"
#include "serial/TSet.h"

// ---------------------------------------------------------------------------
// Enumerations. 8-bit ordinals numbered from 0 in the order given; the member
// names are the ones a stored form description uses.

enum TBaudRate : std::uint8_t {
    brCustom,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000
};
inline constexpr std::array<std::string_view, 16> BaudRateNames{
    "brCustom", "br110",   "br300",   "br600",   "br1200",  "br2400",   "br4800",   "br9600",
    "br14400",  "br19200", "br38400", "br56000", "br57600", "br115200", "br128000", "br256000"};
// DCB StopBits 0, 1, 2
enum TStopBits : std::uint8_t { sbOneStopBit, sbOne5StopBits, sbTwoStopBits };
inline constexpr std::array<std::string_view, 3> StopBitsNames{"sbOneStopBit", "sbOne5StopBits", "sbTwoStopBits"};
// DCB ByteSize 5, 6, 7, 8
enum TDataBits : std::uint8_t { dbFive, dbSix, dbSeven, dbEight };
inline constexpr std::array<std::string_view, 4> DataBitsNames{"dbFive", "dbSix", "dbSeven", "dbEight"};
// DCB Parity 0 to 4
enum TParityBits : std::uint8_t { prNone, prOdd, prEven, prMark, prSpace };
inline constexpr std::array<std::string_view, 5> ParityBitsNames{"prNone", "prOdd", "prEven", "prMark", "prSpace"};
// DCB fDtrControl 0, 1, 2
enum TDTRFlowControl : std::uint8_t { dtrDisable, dtrEnable, dtrHandshake };
inline constexpr std::array<std::string_view, 3> DTRFlowControlNames{"dtrDisable", "dtrEnable", "dtrHandshake"};
// DCB fRtsControl 0 to 3
enum TRTSFlowControl : std::uint8_t { rtsDisable, rtsEnable, rtsHandshake, rtsToggle };
inline constexpr std::array<std::string_view, 4> RTSFlowControlNames{"rtsDisable", "rtsEnable", "rtsHandshake",
                                                                     "rtsToggle"};
// A summary of the flow-control group; no value of its own.
enum TFlowControl : std::uint8_t { fcHardware, fcSoftware, fcNone, fcCustom };
enum TComEvent : std::uint8_t {
    evRxChar,
    evTxEmpty,
    evRxFlag,
    evRing,
    evBreak,
    evCTS,
    evDSR,
    evError,
    evRLSD,
    evRx80Full
};
inline constexpr std::array<std::string_view, 10> ComEventNames{
    "evRxChar", "evTxEmpty", "evRxFlag", "evRing", "evBreak", "evCTS", "evDSR", "evError", "evRLSD", "evRx80Full"};
enum TComError : std::uint8_t { ceFrame, ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver, ceTxFull };
// How the event thread hands events to the application.
enum TSyncMethod : std::uint8_t { smThreadSync, smWindowSync, smNone };
inline constexpr std::array<std::string_view, 3> SyncMethodNames{"smThreadSync", "smWindowSync", "smNone"};
// The setting groups that saving and loading cover.
enum TPersistGroup : std::uint8_t { pgBasic, pgFlowDetails, pgBuffer, pgTimeouts, pgParityDetails, pgMisc };
// The modem status word shifted right by four.
enum TLineSignal : std::uint8_t { lsCTS, lsDSR, lsRing, lsRLSD };

using TComEvents = TSet<TComEvent, std::uint16_t, 10>;  // all ten: 0x3FF
using TComErrors = TSet<TComError, std::uint8_t, 8>;
using TPersistGroups = TSet<TPersistGroup, std::uint8_t, 6>;
using TLineSignals = TSet<TLineSignal, std::uint8_t, 4>;

// ---------------------------------------------------------------------------
// Handler types. An unassigned handler is skipped. Sender is the component.

using TNotifyEvent = std::function<void(TComponent* Sender)>;
using TRxCharEvent = std::function<void(TComponent* Sender, std::int32_t Count)>;
using TRxBufEvent = std::function<void(TComponent* Sender, const void* Buffer, std::int32_t Count)>;
using TComErrorEvent = std::function<void(TComponent* Sender, TComErrors Errors)>;
using TComSignalEvent = std::function<void(TComponent* Sender, bool OnOff)>;
// The port was lost: ErrorCode is the system's error code of the failure
// that ended the event thread.
using TComLostEvent = std::function<void(TComponent* Sender, std::uint32_t ErrorCode)>;

// ---------------------------------------------------------------------------
// Initial values (what the constructors set). Where a property has a stored
// default it equals its initial value; IsStored says which properties have
// one.

namespace ComPortDefaults {
inline constexpr TBaudRate BaudRate = br9600;
inline constexpr std::int32_t CustomBaudRate = 9600;
inline constexpr const char* Port = "COM1";
inline constexpr TStopBits StopBits = sbOneStopBit;
inline constexpr TDataBits DataBits = dbEight;
inline constexpr bool DiscardNull = false;
inline constexpr char EventChar = 0;
inline constexpr TComEvents Events = TComEvents::All();
inline constexpr TSyncMethod SyncMethod = smThreadSync;
inline constexpr TPersistGroups PersistGroups{pgBasic};

inline constexpr TParityBits ParityBits = prNone;
inline constexpr char ReplaceChar = 0;

inline constexpr TDTRFlowControl ControlDTR = dtrDisable;
inline constexpr TRTSFlowControl ControlRTS = rtsDisable;
inline constexpr char XonChar = 17;   // DC1
inline constexpr char XoffChar = 19;  // DC3

inline constexpr std::int32_t ReadInterval = -1;
inline constexpr std::int32_t ReadTotalMultiplier = 0;
inline constexpr std::int32_t ReadTotalConstant = 0;
inline constexpr std::int32_t WriteTotalMultiplier = 100;
inline constexpr std::int32_t WriteTotalConstant = 1000;

inline constexpr std::int32_t InputSize = 1024;
inline constexpr std::int32_t OutputSize = 1024;
}  // namespace ComPortDefaults
