// Form1's received-frame handler: reads what the reader sent, cuts it into
// frames (app/ReaderFrames.h), converts each with the current card format and
// types the cards; whatever is not typed is said on the diagnostic stream.

#include <algorithm>
#include <optional>
#include <cstdio>
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
std::string HexPairs(const std::string& bytes)
{
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
    if (bytes.size() > Shown)
        hex += " ... (" + std::to_string(bytes.size()) + " bytes)";
    return hex;
}

}  // namespace

void TForm1::ComPort1RxChar(TComponent* /*Sender*/, std::int32_t /*Count*/)
{
    // Count is not used. The first read waits as the port's read time-outs
    // say (a frame ends 200 ms after its last character); then whatever is
    // already queued is read too, so that a burst is not left behind to be
    // taken for the next card. Each read is cut into frames, and every frame
    // is typed in order.
    std::vector<std::vector<TReaderPiece>> reads;  // the pieces of each read
    std::string read;
    ComPort1->ReadText(read, kReadLength);
    reads.push_back(frames_.Take(read, Clock()));
    for (int n = 1; n < kMostReads && !read.empty() && ComPort1->InQueueCount() > 0; ++n) {
        ComPort1->ReadText(read, kReadLength);
        reads.push_back(frames_.Take(read, Clock()));
    }
    // Noise that runs on from one read into the next is one piece.
    std::vector<TReaderPiece> pieces;
    for (auto& one : reads) {
        for (TReaderPiece& piece : one) {
            if (piece.Kind == TReaderPiece::TKind::Noise && !pieces.empty() &&
                pieces.back().Kind == TReaderPiece::TKind::Noise)
                pieces.back().Bytes += piece.Bytes;
            else
                pieces.push_back(std::move(piece));
        }
    }
    for (const TReaderPiece& piece : pieces)
        HandlePiece(piece);
    frames_.Listening(Clock());
    WatchOpenFrame();
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

void TForm1::HandlePiece(const TReaderPiece& Piece)
{
    // Every piece that is not typed costs one line and nothing else: the
    // reader must go on working unattended.
    const std::string where = "serial port " + ComPort1->Port() + ": ";
    if (Piece.Kind == TReaderPiece::TKind::Noise) {
        const std::size_t n = Piece.Bytes.size();
        platform::Diagnostic(where + "noise [" + HexPairs(Piece.Bytes) + "] not typed: " + std::to_string(n) +
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
