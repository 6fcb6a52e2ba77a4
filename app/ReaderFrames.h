#pragma once
// Cutting what the reader sends into frames. A frame runs from STX (0x02) up
// to and including the next ETX (0x03), so positions in it count from its own
// STX, whatever came before it in the same read. A frame still waiting for
// its ETX is kept for the next read: a pause inside a frame does not cut it.
//
// What is not a frame is handed back as dropped, with the reason, so that
// every loss can be told:
// - bytes between frames (before an STX, or with no STX at all when a frame
//   cannot be meant, see below): noise;
// - a frame whose ETX had not come one second after its STX (or after the
//   port listened again, see Listening), checked when the next read arrives
//   or by Expire when the reader has fallen silent (the rest of it, up to its
//   ETX, goes with it);
// - a frame that an STX interrupts before its ETX;
// - a frame longer than LongestFrame characters without its ETX (the rest up
//   to its ETX goes with it).
// - a frame across a place where bytes may be missing (see
//   BytesMayBeMissingAt): the port's input queue overflowed there, and the
//   two ends must not be joined into one card (the rest of it, up to its ETX,
//   goes with it); bare text that starts or ends at such a place, which may
//   have lost its head or its tail there, goes too.
// Blanks and control characters right after an ETX (the CR LF some readers
// send after a frame) are the end of that frame and are dropped silently.
//
// Readers that send bare text, with no STX, keep the rule that one read is
// one frame: a read with no STX while no frame is open is a frame, unless it
// is a full read of ReadLength characters (more was queued: a burst, not a
// card) or comes within a second of noise (the rest of that burst).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct TReaderPiece {
    // Noise: bytes outside any frame. Dropped: a frame that cannot be typed.
    enum class TKind { Frame, Noise, Dropped };
    TKind Kind = TKind::Frame;
    std::string Bytes;   // the frame, the noise or the frame dropped
    std::string Reason;  // Dropped: why, for the diagnostic line
};

class TReaderFrames {
public:
    static constexpr char Stx = '\x02';
    static constexpr char Etx = '\x03';
    // The count of one read; a bare read this long is not one card.
    static constexpr std::size_t ReadLength = 100;
    static constexpr std::size_t LongestFrame = 100;
    // How long an open frame waits for its ETX, and a burst counts as going on.
    static constexpr std::int64_t WaitMs = 1000;

    // The pieces of one read's bytes, in order. NowMs: a monotonic clock in
    // milliseconds at the time of the read.
    std::vector<TReaderPiece> Take(const std::string& Read, std::int64_t NowMs);

    // Bytes may have been lost just before the byte at Position, counted
    // over all the bytes handed to Take since this object was made (the
    // first is 0). A Position already taken is ignored.
    void BytesMayBeMissingAt(std::uint64_t Position);
    // The bytes handed to Take so far.
    std::uint64_t Taken() const { return taken_; }

    // True when Take would cut Read at its marks, false when it would take
    // it as bare text (no STX in it and no frame open).
    bool CutsAtMarks(const std::string& Read) const;

    // The open frame, if any, dropped for Reason (the program is ending).
    std::vector<TReaderPiece> Abandon(const std::string& Reason);

    // The port listens again (the cards of the last reads are typed): an
    // open frame's second starts afresh, as the rest of it may have been
    // queued while the keys were typed.
    void Listening(std::int64_t NowMs);

    // True while a frame is open (its STX seen, its ETX not yet).
    bool Waiting() const { return open_.has_value(); }

    // The open frame, dropped when its ETX has not come within WaitMs by
    // NowMs; nothing otherwise. For a reader that falls silent in the middle
    // of a frame: no next read would ever tell its loss.
    std::vector<TReaderPiece> Expire(std::int64_t NowMs);

    // The time from which Expire drops the open frame; nothing while no frame
    // is open.
    std::optional<std::int64_t> ExpiresAt() const;

private:
    static void Drop(std::vector<TReaderPiece>& Out, std::string Bytes, std::string Reason);
    static void Noise(std::vector<TReaderPiece>& Out, std::string Bytes);

    std::optional<std::string> open_;      // the open frame, from its STX
    std::int64_t openSince_ = 0;           // its STX came, or the port listened again
    bool skipping_ = false;                // the rest of a frame that was too long
    bool afterEtx_ = false;                // only a frame's trailer so far since its ETX
    std::optional<std::int64_t> noiseAt_;  // the last read that ended in noise
    std::uint64_t taken_ = 0;              // bytes handed to Take so far
    std::set<std::uint64_t> gaps_;         // where bytes may be missing, not yet taken
};

// The common field layout: STX, ten hex digits (a version byte and a four-
// byte card), two hex digits that are the XOR of those five bytes, optionally
// CR LF, ETX. For a frame in that layout whose check digits do not match,
// the reason; otherwise (a good frame, or another layout) nothing.
std::optional<std::string> FieldChecksumFault(const std::string& Frame);
