#pragma once
// The serial port component: TCustomComPort holds every setting of one serial
// line and all behaviour; TComPort publishes the properties so that a stored
// form description can set them.
//
// Settings rule: while the port is closed a change is only stored, and
// OpenPort sends all stored values (ApplySettings). While the port is open a
// change is sent at once by re-sending the whole group it belongs to. Port
// re-opens an open port, SyncMethod cannot change while connected, and Events
// takes effect at the next opening. A setter given the current value does
// nothing.
//
// Sources by concern: ComPortSettings.cpp (setters, groups),
// ComPortApply.cpp (DCB, time-outs, queue sizes), ComPortOpenClose.cpp,
// ComPortEvents.cpp (hooks, status queries, event steps), ComThread.cpp (the
// event thread), ComPortRead.cpp,
// ComPortPersist.cpp, ComPortProperties.cpp (the property table: published
// names, stored defaults, settings-store keys and text forms, stored-form
// values).
//
// Headers by concern: TSet.h (the set template), ComPortTypes.h
// (enumerations, handler types, initial values), ComPortGroups.h (the
// setting groups), this one (the port). Callers include this one.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "framework/Component.h"
#include "platform/NotifyWindow.h"
#include "platform/SerialApi.h"
#include "serial/ComPortGroups.h"
#include "serial/ComPortTypes.h"
#include "serial/TSet.h"

class TCustomComPort;
class TComThread;  // the event thread, defined with the event dispatch
class TIniStore;   // settings stores, defined with persistence
class TRegistryKey;

// ---------------------------------------------------------------------------

class TCustomComPort : public TComponent {
public:
    // Creates the groups Parity, FlowControl, Timeouts, Buffer, in this order.
    explicit TCustomComPort(TComponent* AOwner);
    // Closes the port, then destroys the groups.
    ~TCustomComPort() override;

    std::string ClassName() const override { return "TCustomComPort"; }

    // --- Settings persistence: the caller opens the store and closes it.
    virtual void SaveToRegistry(TRegistryKey& Key);
    virtual void SaveToIni(TIniStore& Store);
    virtual void LoadFromRegistry(TRegistryKey& Key);
    virtual void LoadFromIni(TIniStore& Store);

protected:
    // --- The device: CreateFileA on "\\.\" + Port, exclusive and overlapped,
    // into DeviceHandle; and its release.
    virtual void OpenDeviceHandle();
    virtual void CloseDeviceHandle();

public:
    // Buffer sizes, then line settings, then time-outs. Called by OpenPort.
    virtual void ApplySettings();

protected:
    // --- Event hooks: each calls its handler, Sender = this, when one is
    // assigned. A derived component overrides one to react without a handler.
    virtual void FireAfterClose();
    virtual void FireAfterOpen();
    virtual void FireBeforeClose();
    virtual void FireBeforeOpen();
    virtual void FireRxChar(std::int32_t Count);
    virtual void FireRxBuf(const void* Buffer, std::int32_t Count);
    virtual void FireTxEmpty();
    virtual void FireBreak();
    virtual void FireRing();
    virtual void FireRxFlag();
    virtual void FireCTSChange(bool OnOff);
    virtual void FireDSRChange(bool OnOff);
    virtual void FireError(TComErrors Errors);
    virtual void FireRLSDChange(bool OnOff);
    virtual void FireRx80Full();

public:
    // --- Sending settings to the device. Each does nothing unless Connected
    // and not loading, and ignores the result of its system call.
    virtual void ApplyLineSettings();     // SetCommState with the DCB (BuildDcb)
    virtual void ApplyTimeoutSettings();  // SetCommTimeouts (BuildTimeouts)
    virtual void ApplyBufferSizes();      // SetupComm(InputSize, OutputSize)

    // The system parameters the current settings give.
    platform::Dcb BuildDcb() const;
    platform::CommTimeouts BuildTimeouts() const;

    // --- Connection
    // Nothing when already connected. A device that cannot be opened raises
    // EComPort code 1 with the system's error code; the port stays closed.
    void OpenPort();
    // Nothing when not connected (or while already closing). Refused with an
    // Exception, the port staying open, when called from inside one of the
    // port's own handlers under smThreadSync or smNone: the event thread
    // waits for that handler.
    void ClosePort();
    void AbortPending();  // PurgeComm(DeviceHandle, TX abort | RX abort)

    // --- Status of the open device
    std::int32_t InQueueCount();
    TLineSignals LineSignals();
    TComErrors CollectErrors();

    // --- Reading (blocking; for an open port). Once a close has begun they
    // return 0 at once: a handler that reads during the close holds nothing up.
    std::int32_t ReadText(std::string& Text, std::int32_t Count);
    std::int32_t ReadBytes(void* Buffer, std::int32_t Count);

    // --- Properties
    // While loading: the value recorded last, acted on once loading ends.
    bool Connected() const { return Loading() && loadedConnected_.has_value() ? *loadedConnected_ : connected_; }
    void SetConnected(bool Value);
    TBaudRate BaudRate() const { return baudRate_; }
    void SetBaudRate(TBaudRate Value);
    std::int32_t CustomBaudRate() const { return customBaudRate_; }
    void SetCustomBaudRate(std::int32_t Value);
    const std::string& Port() const { return port_; }
    void SetPort(const std::string& Value);
    TStopBits StopBits() const { return stopBits_; }
    void SetStopBits(TStopBits Value);
    TDataBits DataBits() const { return dataBits_; }
    void SetDataBits(TDataBits Value);
    bool DiscardNull() const { return discardNull_; }
    void SetDiscardNull(bool Value);
    char EventChar() const { return eventChar_; }
    void SetEventChar(char Value);
    TComEvents Events() const { return events_; }
    void SetEvents(TComEvents Value);
    TSyncMethod SyncMethod() const { return syncMethod_; }
    void SetSyncMethod(TSyncMethod Value);
    TPersistGroups PersistGroups() const { return persistGroups_; }
    void SetPersistGroups(TPersistGroups Value) { persistGroups_ = Value; }

    // The owned groups. Setting one copies the source's values into the
    // owned group (no comparison) and re-sends that group.
    TComBuffer* Buffer() const { return buffer_.get(); }
    void SetBuffer(const TComBuffer* Value);
    TComParity* Parity() const { return parity_.get(); }
    void SetParity(const TComParity* Value);
    TComTimeouts* Timeouts() const { return timeouts_.get(); }
    void SetTimeouts(const TComTimeouts* Value);
    TComFlowControl* FlowControl() const { return flowControl_.get(); }
    void SetFlowControl(const TComFlowControl* Value);

    // The open device (meaningful only while Connected), and whether the last
    // opening started the event thread.
    platform::Handle DeviceHandle() const { return deviceHandle_; }
    bool EventThreadRunning() const { return eventThreadRunning_; }
    // The event thread while it runs, and the notification window, which
    // exists only while it runs with smWindowSync; null otherwise.
    TComThread* EventThread() const { return eventThread_.get(); }
    platform::INotifyWindow* NotifyWindow() const { return notifyWindow_.get(); }

    // --- Handlers
    const TRxCharEvent& OnRxChar() const { return onRxChar_; }
    void SetOnRxChar(TRxCharEvent Value) { onRxChar_ = std::move(Value); }
    const TRxBufEvent& OnRxBuf() const { return onRxBuf_; }
    void SetOnRxBuf(TRxBufEvent Value) { onRxBuf_ = std::move(Value); }
    const TNotifyEvent& OnTxEmpty() const { return onTxEmpty_; }
    void SetOnTxEmpty(TNotifyEvent Value) { onTxEmpty_ = std::move(Value); }
    const TNotifyEvent& OnBreak() const { return onBreak_; }
    void SetOnBreak(TNotifyEvent Value) { onBreak_ = std::move(Value); }
    const TNotifyEvent& OnRing() const { return onRing_; }
    void SetOnRing(TNotifyEvent Value) { onRing_ = std::move(Value); }
    const TComSignalEvent& OnCTSChange() const { return onCTSChange_; }
    void SetOnCTSChange(TComSignalEvent Value) { onCTSChange_ = std::move(Value); }
    const TComSignalEvent& OnDSRChange() const { return onDSRChange_; }
    void SetOnDSRChange(TComSignalEvent Value) { onDSRChange_ = std::move(Value); }
    const TComSignalEvent& OnRLSDChange() const { return onRLSDChange_; }
    void SetOnRLSDChange(TComSignalEvent Value) { onRLSDChange_ = std::move(Value); }
    const TComErrorEvent& OnError() const { return onError_; }
    void SetOnError(TComErrorEvent Value) { onError_ = std::move(Value); }
    const TNotifyEvent& OnRxFlag() const { return onRxFlag_; }
    void SetOnRxFlag(TNotifyEvent Value) { onRxFlag_ = std::move(Value); }
    const TNotifyEvent& OnAfterOpen() const { return onAfterOpen_; }
    void SetOnAfterOpen(TNotifyEvent Value) { onAfterOpen_ = std::move(Value); }
    const TNotifyEvent& OnAfterClose() const { return onAfterClose_; }
    void SetOnAfterClose(TNotifyEvent Value) { onAfterClose_ = std::move(Value); }
    const TNotifyEvent& OnBeforeOpen() const { return onBeforeOpen_; }
    void SetOnBeforeOpen(TNotifyEvent Value) { onBeforeOpen_ = std::move(Value); }
    const TNotifyEvent& OnBeforeClose() const { return onBeforeClose_; }
    void SetOnBeforeClose(TNotifyEvent Value) { onBeforeClose_ = std::move(Value); }
    const TNotifyEvent& OnRx80Full() const { return onRx80Full_; }
    void SetOnRx80Full(TNotifyEvent Value) { onRx80Full_ = std::move(Value); }

    // --- Losing the device. When the event thread ends because a wait for
    // serial events failed (the device went away: a USB adapter unplugged, a
    // hang-up), the thread writes its one diagnostic line and ends; the port
    // stays Connected, and nothing more is delivered until it is closed and
    // opened again. OnLost then runs once, on the main thread from its event
    // loop, whatever SyncMethod says, with the failure's system error code.
    // The thread queues it as its last step and touches the port no more, so
    // the handler may close the port (and open it again later). It does not run when the port was closed (or
    // closed and opened again, or destroyed) before the main thread got to
    // it. OnLost is not published: no stored form description, INI store or
    // registry key holds it.
    const TComLostEvent& OnLost() const { return onLost_; }
    void SetOnLost(TComLostEvent Value) { onLost_ = std::move(Value); }

    // --- Stored form description: the properties TComPort publishes, in
    // order, and whether one is written (it differs from its stored default,
    // or has none; a handler is written when assigned; CustomBaudRate and
    // PersistGroups are not published).
    static std::span<const std::string_view> PublishedProperties();
    bool IsStored(std::string_view Property) const;

protected:
    // After a stored form description has been read: ends the loading state,
    // then opens the port if Connected was recorded as true meanwhile.
    void FinishLoading() override;

private:
    friend class TComThread;

    bool ApplyAllowed() const { return connected_ && !Loading(); }

    // --- Event dispatch (ComPortEvents.cpp). Each step gathers what its
    // event needs and raises it through the event's hook.
    void HandleRxChar();  // OnRxChar(InQueueCount) when bytes are waiting
    void HandleTxEmpty();
    void HandleRxFlag();
    void HandleBreak();
    void HandleRing();
    void HandleCTSChange();  // the line's state when the step runs
    void HandleDSRChange();
    void HandleRLSDChange();
    void HandleError();  // OnError(CollectErrors) when any error is mapped
    void HandleRx80Full();
    void RunEventStep(TComEvent Event);
    // Around opening and closing: OnBeforeOpen; OnAfterOpen and the three
    // line states; the three lines as off and OnBeforeClose; OnAfterClose.
    void HandleBeforeOpen();
    void HandleAfterOpen();
    void HandleBeforeClose();
    void HandleAfterClose();
    void ReportSignals(bool Opened);
    // After a read was started: aborts it when a close has begun meanwhile,
    // since that close's own abort may have come before the read.
    void AbortIfClosing();
    // The notification window's procedure (smWindowSync).
    std::intptr_t EventWindowProc(std::uint32_t Message, std::uintptr_t WParam, std::intptr_t LParam);
    // Ends the event thread (serving what it hands over meanwhile), then
    // releases the notification window.
    void StopEventThread();
    // On the main thread, after the event thread of the opening numbered
    // Opening ended on a failed wait: OnLost, unless the port has been
    // closed or reopened since.
    void HandleLost(std::uint64_t Opening, std::uint32_t ErrorCode);

    // Stands for this object while it lives: what the event thread queues
    // for the main thread holds a weak reference and finds it gone once the
    // port is destroyed.
    std::shared_ptr<TCustomComPort*> self_ = std::make_shared<TCustomComPort*>(this);
    std::uint64_t opening_ = 0;  // counts the successful openings

    std::unique_ptr<TComThread> eventThread_;
    bool eventThreadRunning_ = false;
    platform::Handle deviceHandle_ = platform::InvalidHandle;
    std::unique_ptr<platform::INotifyWindow> notifyWindow_;  // smWindowSync, while the thread runs
    bool connected_ = false;
    // A ClosePort is under way. Atomic: a handler under smNone asks on the
    // event thread whether a read may still start.
    std::atomic<bool> closing_ = false;
    // Connected as recorded while loading (none when it was not set); the
    // device's state stays in connected_ until loading has finished.
    std::optional<bool> loadedConnected_;
    // What the open device and its event thread were opened with.
    std::string openedPort_;
    TSyncMethod openedSyncMethod_ = ComPortDefaults::SyncMethod;
    TBaudRate baudRate_ = ComPortDefaults::BaudRate;
    std::int32_t customBaudRate_ = ComPortDefaults::CustomBaudRate;
    std::string port_ = ComPortDefaults::Port;
    TStopBits stopBits_ = ComPortDefaults::StopBits;
    TDataBits dataBits_ = ComPortDefaults::DataBits;
    bool discardNull_ = ComPortDefaults::DiscardNull;
    char eventChar_ = ComPortDefaults::EventChar;
    TComEvents events_ = ComPortDefaults::Events;
    std::unique_ptr<TComBuffer> buffer_;
    std::unique_ptr<TComParity> parity_;
    std::unique_ptr<TComTimeouts> timeouts_;
    std::unique_ptr<TComFlowControl> flowControl_;
    TSyncMethod syncMethod_ = ComPortDefaults::SyncMethod;
    TPersistGroups persistGroups_ = ComPortDefaults::PersistGroups;

    TRxCharEvent onRxChar_;
    TRxBufEvent onRxBuf_;
    TNotifyEvent onTxEmpty_;
    TNotifyEvent onBreak_;
    TNotifyEvent onRing_;
    TComSignalEvent onCTSChange_;
    TComSignalEvent onDSRChange_;
    TComSignalEvent onRLSDChange_;
    TComErrorEvent onError_;
    TNotifyEvent onRxFlag_;
    TNotifyEvent onAfterOpen_;
    TNotifyEvent onAfterClose_;
    TNotifyEvent onBeforeOpen_;
    TNotifyEvent onBeforeClose_;
    TNotifyEvent onRx80Full_;
    TComLostEvent onLost_;
};

// The published component: all of TCustomComPort, nothing added.
class TComPort : public TCustomComPort {
public:
    using TCustomComPort::TCustomComPort;
    std::string ClassName() const override { return "TComPort"; }
};
