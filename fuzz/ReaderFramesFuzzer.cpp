// TReaderFrames on any bytes cut into any reads at any times. Input: pairs of
// a control byte and then that many bytes (low 7 bits + 1) of a read; the
// control byte's top bit moves the clock 1.5 s on before the read, else
// 100 ms. Checked on every input:
// - a frame is bare text (no STX, shorter than a full read) or runs from one
//   STX to the first ETX after it, with no other STX or ETX inside;
// - noise holds no STX; a dropped frame starts with its STX and holds no other;
// - no piece is empty but a bare frame from an empty read, and the pieces
//   together never hold more bytes than were read.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/ReaderFrames.h"

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

void CheckPiece(const TReaderPiece& piece, const std::string& read)
{
    const std::string& b = piece.Bytes;
    switch (piece.Kind) {
    case TReaderPiece::TKind::Frame:
        if (b.find(TReaderFrames::Stx) == std::string::npos) {
            Check(b.size() < TReaderFrames::ReadLength);
            Check(!b.empty() || read.empty());
        } else {
            Check(b.size() >= 2 && b.front() == TReaderFrames::Stx && b.back() == TReaderFrames::Etx);
            Check(b.find(TReaderFrames::Stx, 1) == std::string::npos);
            Check(b.find(TReaderFrames::Etx) == b.size() - 1);
            Check(b.size() <= TReaderFrames::LongestFrame + 1);
        }
        break;
    case TReaderPiece::TKind::Noise:
        Check(!b.empty() && b.find(TReaderFrames::Stx) == std::string::npos);
        break;
    case TReaderPiece::TKind::Dropped:
        Check(!b.empty() && b.front() == TReaderFrames::Stx);
        Check(b.find(TReaderFrames::Stx, 1) == std::string::npos);
        Check(!piece.Reason.empty());
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TReaderFrames frames;
    std::int64_t now = 0;
    std::size_t read = 0;
    std::size_t given = 0;
    for (std::size_t i = 0; i < size;) {
        const std::uint8_t control = data[i++];
        now += (control & 0x80) != 0 ? 1500 : 100;
        const std::size_t n = std::min<std::size_t>((control & 0x7F) + 1u, size - i);
        const std::string bytes(reinterpret_cast<const char*>(data) + i, n);
        i += n;
        read += n;
        for (const TReaderPiece& piece : frames.Take(bytes, now)) {
            CheckPiece(piece, bytes);
            given += piece.Bytes.size();
        }
        frames.Listening(now);
    }
    Check(given <= read);
    return 0;
}
