#pragma once
// One overlapped read of the serial component, and the steps ReadText and
// ReadBytes are made of (serial/ComPortRead.cpp). The steps are the
// component's own; they are declared here, apart from the public header, for
// the component's sources and its tests.
//
// A read creates its record, uses it for exactly one overlapped read and
// releases it when the read ends, whether the read succeeded, failed or
// raised. A record is never shared between reads or threads.

#include <cstdint>
#include <string>

#include "platform/SerialApi.h"

class TCustomComPort;

// The operation started on a record.
enum TOperationKind : std::uint8_t { okNone, okRead };

struct TAsyncRecord {
    // All zero at creation except hEvent, the record's completion event
    // (manual reset, created signalled), so waiting on a record on which no
    // read was started returns at once with 0 bytes.
    platform::Overlapped Overlapped;
    TOperationKind Kind = okNone;
    // The byte count the read asked for: a completed read never reports more.
    platform::DWORD Requested = 0;
    // The device took the read: it completed at once or is pending. False
    // when ReadFile refused it (or it was never issued); the device then
    // holds no reference to the buffer or the block, and nothing is waited
    // for.
    bool Accepted = false;
};

using PAsyncRecord = TAsyncRecord*;

// A new record with its completion event. Its event is NullHandle when the
// event could not be created; a read on such a record is not started.
PAsyncRecord NewAsyncRecord();

// Closes the completion event, releases the record and empties the
// reference. Nothing for an empty reference.
void FreeAsyncRecord(PAsyncRecord& Record);

// Starts an overlapped read of Count bytes into Buffer on the port's device.
// A missing record raises EComPort code 4. Whether the read completed at
// once, is pending or failed is taken by WaitForCompletion.
void StartRead(TCustomComPort& Port, void* Buffer, std::int32_t Count, PAsyncRecord Record);

// Sizes Text to Count (a Count of 0 or less empties it) and, when Count > 0,
// starts a read into Text's own storage. A missing record raises EComPort
// code 4 (after sizing).
void StartReadText(TCustomComPort& Port, std::string& Text, std::int32_t Count, PAsyncRecord Record);

// Waits for the record's read and returns the bytes it transferred (0 when
// the wait fails or nothing was transferred). After a read, the driver's
// pending error flags are read and discarded once. A missing record raises
// EComPort code 4.
std::int32_t WaitForCompletion(TCustomComPort& Port, PAsyncRecord Record);
