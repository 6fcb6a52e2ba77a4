// Form1's received-frame handler: reads what the reader sent, cuts it into
// frames (app/ReaderFrames.h), converts each with the current card format and
// types the cards; whatever is not typed is said on the diagnostic stream.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/CardFormats.h"
#include "app/KeyTyper.h"
#include "app/Unit1.h"
#include "framework/Exception.h"
#include "platform/Diagnostics.h"

namespace {

// The count of one read.
constexpr std::int32_t kReadLength = static_cast<std::int32_t>(TReaderFrames::ReadLength);
// Pieces waiting to be typed: at most 64 KiB of frames (a field frame of 16
// bytes counts 16, an empty one 1), some 4,000 cards, 16 minutes of typing.
// A reader that sends back to back (some 70 cards a second at 9600 baud)
// fills it in about a minute; only a reader that never stops (a card held to
// a repeating reader) gets there. Beyond it a frame is dropped with its line.
constexpr std::size_t kBacklogBytes = 64 * 1024;
// The first bytes of a noise run kept for its line (which shows 100).
constexpr std::size_t kNoiseKept = 100;
// Waiting for the end of bare text read while typing: steps and their length.
constexpr int kMostCarryWaits = 50;
constexpr std::uint32_t kCarryStepMs = 20;
constexpr const char* kStopping = "tarvel is stopping";
// Reads of what is already queued, at most, in one event: 10,000 bytes. More
// waits for the next event, so that typing is never put off for long.
constexpr int kMostReads = 100;

// Without the characters of code 32 or less at either end; those inside stay.
std::string TrimControls(const std::string& text)
{
    auto kept = [](char c) { return static_cast<unsigned char>(c) > 32; };
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && !kept(text[first]))
        ++first;
    while (last > first && !kept(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

// "02 30 41 03": every byte as two upper-case hex digits, blanks between; a
// long run shows its first bytes and its length.
std::string HexPairs(const std::string& bytes, std::size_t total = 0)
{
    total = std::max(total, bytes.size());
    constexpr std::size_t Shown = 100;
    std::string hex;
    hex.reserve(std::min(bytes.size(), Shown) * 3 + 24);
    for (std::size_t i = 0; i < bytes.size() && i < Shown; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(static_cast<unsigned char>(bytes[i])));
        if (!hex.empty())
            hex += ' ';
        hex += pair;
    }
    if (total > Shown)
        hex += " ... (" + std::to_string(total) + " bytes)";
    return hex;
}

}  // namespace

void TForm1::ComPort1RxChar(TComponent* /*Sender*/, std::int32_t /*Count*/)
{
    // Count is not used. The first read waits as the port's read time-outs
    // say (a frame ends 200 ms after its last character); then whatever is
    // already queued is read too, so that a burst is not left behind to be
    // taken for the next card. Each read is cut into frames, and every frame
    // is typed in order; the port is read on while they are typed.
    if (handling_)
        return;  // not while typing: the event thread waits for this handler
    handling_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{handling_};

    // Each read is counted (Look) before it is cut: a loss that Look finds
    // may lie inside it.
    std::string read = ReadPort(kReadLength);
    std::int32_t queued = Look();
    TakeRead(read);
    for (int n = 1; n < kMostReads && !read.empty() && queued > 0; ++n) {
        read = ReadPort(kReadLength);
        queued = Look();
        TakeRead(read);
    }
    TypeBacklog();
    frames_.Listening(Clock());
    WatchOpenFrame();
}

std::string TForm1::ReadPort(std::int32_t Count)
{
    std::string read;
    ComPort1->ReadText(read, Count);
    received_ += read.size();
    return read;
}

void TForm1::TakeRead(std::string Read)
{
    if (!carry_.empty()) {
        Read.insert(0, carry_);
        carry_.clear();
    }
    Enqueue(frames_.Take(Read, Clock()));
}

// Where bytes may have been lost. The port's input queue holds Q bytes (its
// Buffer's InputSize); a byte that arrives while it is full is dropped (the
// port says CE_RXOVER), so the bytes after a drop are the ones that come once
// a read has made room, and nothing marks the place in what is read. Every
// read clears the error flags, and so does counting the queue, so the flag
// alone cannot place a drop among the bytes read. The counts can. Let P be
// the bytes read at the last Look, r those read since (one read: Looks and
// reads alternate, and a read is cut only after the Look that follows it)
// and c what is queued now:
// - a drop before the read happened with the queue full, so the Q bytes from
//   P were kept and the loss is right after them, at P + Q; the read then
//   left at least Q - r queued, so c >= Q - r (or r >= Q: a read that
//   waited takes what comes after the queue's bytes too);
// - a drop after the read leaves the queue full until the next read, so
//   c >= Q, and the loss is right after the queue, at P + r + Q.
// So c < Q - r means nothing was lost, and otherwise these two places are
// the only ones: a frame across one of them is dropped with a line, never
// joined, even when no byte was lost after all (the cost: one good frame,
// told). A count above Q (a driver that keeps more than it was asked to)
// still marks only these places; the error flag, when a Look does see it,
// adds the end of the queue (the drop came after the last read, when it
// was full).
std::int32_t TForm1::Look()
{
    TComErrors errors;
    try {
        errors = ComPort1->CollectErrors();  // first: counting clears the flags
    } catch (const Exception&) {
        // A port that cannot tell (gone, closing): its count is 0 below.
    }
    const std::int32_t count = ComPort1->InQueueCount();
    const std::uint64_t readNow = received_;
    const std::uint64_t read = readNow - lookedAt_;
    const auto queue = static_cast<std::uint64_t>(std::max<std::int32_t>(ComPort1->Buffer()->InputSize(), 1));
    const auto queued = static_cast<std::uint64_t>(std::max<std::int32_t>(count, 0));
    if (read >= queue || queued >= queue - read)
        frames_.BytesMayBeMissingAt(lookedAt_ + queue);
    if (queued >= queue)
        frames_.BytesMayBeMissingAt(readNow + queue);
    if (errors.Contains(ceRxOver))
        frames_.BytesMayBeMissingAt(readNow + queued);
    lookedAt_ = readNow;
    return count;
}

void TForm1::Drain()
{
    std::int32_t queued = Look();
    for (int n = 0; n < kMostReads && queued > 0; ++n) {
        // No more than is queued: the read ends at once, without waiting
        // for the read time-outs.
        const std::string read = ReadPort(std::min(queued, kReadLength));
        if (read.empty())
            return;
        queued = Look();
        Carry(read);
    }
}

void TForm1::Carry(const std::string& Read)
{
    // Bare text (no STX) is one card per read that waited for the read
    // interval: what comes between two keys may be half a card, so it waits
    // here until the reader has been quiet for that long. Text with an STX
    // is cut at its marks at once.
    carry_ += Read;
    if (frames_.CutsAtMarks(carry_) || carry_.size() >= TReaderFrames::ReadLength) {
        std::string bytes = std::move(carry_);
        carry_.clear();
        Enqueue(frames_.Take(bytes, Clock()));
        return;
    }
    carryAt_ = Pause().NowMs();
}

void TForm1::FlushQuietCarry()
{
    const auto interval = static_cast<std::uint64_t>(std::max<std::int32_t>(ComPort1->Timeouts()->ReadInterval(), 1));
    if (carry_.empty() || Pause().NowMs() < carryAt_ + interval)
        return;
    TakeRead({});
}

void TForm1::WaitForCarry()
{
    // Bare text read while the last card was typed: wait, as a read would,
    // for the reader to be quiet for the read interval (never longer than
    // kMostCarryWaits key slots; a reader that goes on makes it a burst).
    for (int n = 0; n < kMostCarryWaits && !carry_.empty(); ++n) {
        FlushQuietCarry();
        if (carry_.empty())
            return;
        Pause().Sleep(kCarryStepMs);
        Drain();
    }
    if (!carry_.empty())
        TakeRead({});
}

void TForm1::Enqueue(std::vector<TReaderPiece> Pieces)
{
    for (TReaderPiece& piece : Pieces) {
        if (piece.Kind == TReaderPiece::TKind::Noise) {
            const std::size_t n = piece.Bytes.size();
            if (!backlog_.empty() && backlog_.back().Piece.Kind == TReaderPiece::TKind::Noise) {
                TPending& run = backlog_.back();  // noise that runs on: one line
                const std::size_t kept = std::min(n, kNoiseKept - std::min(kNoiseKept, run.Piece.Bytes.size()));
                run.Piece.Bytes.append(piece.Bytes, 0, kept);
                backlogBytes_ += kept;
                run.NoiseBytes += n;
                continue;
            }
            piece.Bytes.resize(std::min(n, kNoiseKept));
            backlogBytes_ += piece.Bytes.size();
            backlog_.push_back({std::move(piece), n});
            continue;
        }
        const std::size_t cost = std::max<std::size_t>(piece.Bytes.size(), 1);
        if (backlogBytes_ + cost > kBacklogBytes) {
            // The backlog is full: the piece is told now, and a frame is not
            // typed. Nothing waits beyond the bound.
            if (piece.Kind == TReaderPiece::TKind::Frame) {
                piece.Kind = TReaderPiece::TKind::Dropped;
                piece.Reason = "the backlog of frames waiting to be typed is full (" + std::to_string(kBacklogBytes) +
                               " bytes)";
            }
            HandlePiece(piece);
            continue;
        }
        backlogBytes_ += cost;
        backlog_.push_back({std::move(piece), 0});
    }
}

void TForm1::TypeBacklog()
{
    SetKeyPauseHook([this] { Drain(); });
    struct Unhook {
        ~Unhook() { SetKeyPauseHook({}); }
    } unhook;
    for (;;) {
        if (TypingStopRequested()) {
            TellStopped();
            return;
        }
        if (backlog_.empty()) {
            WaitForCarry();
            if (backlog_.empty())
                return;
        }
        TPending next = std::move(backlog_.front());
        backlog_.pop_front();
        const bool noise = next.Piece.Kind == TReaderPiece::TKind::Noise;
        backlogBytes_ -= noise ? next.Piece.Bytes.size() : std::max<std::size_t>(next.Piece.Bytes.size(), 1);
        HandlePiece(next.Piece, next.NoiseBytes);
        Drain();
        FlushQuietCarry();
    }
}

void TForm1::TellStopped()
{
    // The program is ending: what has come but is not typed is told, frame
    // by frame, with what is still queued and a frame not yet ended.
    Drain();
    if (!carry_.empty())
        TakeRead({});
    Enqueue(frames_.Abandon(kStopping));
    while (!backlog_.empty()) {
        TPending next = std::move(backlog_.front());
        backlog_.pop_front();
        if (next.Piece.Kind == TReaderPiece::TKind::Frame) {
            next.Piece.Kind = TReaderPiece::TKind::Dropped;
            next.Piece.Reason = kStopping;
        }
        HandlePiece(next.Piece, next.NoiseBytes);
    }
    backlogBytes_ = 0;
}

void TForm1::WatchOpenFrame()
{
    frameTimer_->SetEnabled(false);
    const std::optional<std::int64_t> at = frames_.ExpiresAt();
    if (!at)
        return;  // nothing waits: no timer, no wake-up
    const std::int64_t wait = std::clamp<std::int64_t>(*at - Clock(), 1, TReaderFrames::WaitMs + 1);
    frameTimer_->SetInterval(static_cast<std::uint32_t>(wait));
    frameTimer_->SetEnabled(true);
}

void TForm1::OpenFrameTimer()
{
    // A loop's timer may fire a little early: the frame is dropped only once
    // its second is really up, and watched again otherwise.
    for (const TReaderPiece& piece : frames_.Expire(Clock()))
        HandlePiece(piece);
    WatchOpenFrame();
}

void TForm1::HandlePiece(const TReaderPiece& Piece, std::size_t NoiseBytes)
{
    // Every piece that is not typed costs one line and nothing else: the
    // reader must go on working unattended.
    const std::string where = "serial port " + ComPort1->Port() + ": ";
    if (Piece.Kind == TReaderPiece::TKind::Noise) {
        const std::size_t n = std::max(NoiseBytes, Piece.Bytes.size());
        platform::Diagnostic(where + "noise [" + HexPairs(Piece.Bytes, n) + "] not typed: " + std::to_string(n) +
                             (n == 1 ? " byte" : " bytes") + " outside any frame");
        return;
    }
    if (Piece.Kind == TReaderPiece::TKind::Dropped) {
        platform::Diagnostic(where + "frame [" + HexPairs(Piece.Bytes) + "] not typed: " + Piece.Reason);
        return;
    }
    const std::string& frame = Piece.Bytes;
    if (const auto fault = FieldChecksumFault(frame)) {
        platform::Diagnostic(where + "frame [" + HexPairs(frame) + "] not typed: " + *fault);
        return;
    }
    std::string card;
    try {
        card = ConvertFrame(frame);  // format 7 types its prefix here
    } catch (const EConvertError& e) {
        // Reported here, where the frame is known, and not passed on: the
        // port's event delivery would only repeat the message without the
        // frame (and, delivering through window messages, would show it in
        // an error box).
        platform::Diagnostic(where + "frame [" + HexPairs(frame) + "] not typed: " + platform::Printable(e.Message()));
        return;
    }
    TypeText(TrimControls(card));
}
