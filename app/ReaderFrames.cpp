#include "app/ReaderFrames.h"

#include <cstdio>
#include <utility>

#include "framework/HexDigit.h"

namespace {

constexpr const char* GapReason = "bytes may be missing from it: the port's input queue overflowed";

bool Blank(char c) { return static_cast<unsigned char>(c) <= 32; }

}  // namespace

void TReaderFrames::Drop(std::vector<TReaderPiece>& Out, std::string Bytes, std::string Reason)
{
    Out.push_back({TReaderPiece::TKind::Dropped, std::move(Bytes), std::move(Reason)});
}

void TReaderFrames::Noise(std::vector<TReaderPiece>& Out, std::string Bytes)
{
    if (!Out.empty() && Out.back().Kind == TReaderPiece::TKind::Noise)
        Out.back().Bytes += Bytes;
    else
        Out.push_back({TReaderPiece::TKind::Noise, std::move(Bytes), {}});
}

std::vector<TReaderPiece> TReaderFrames::Expire(std::int64_t NowMs)
{
    std::vector<TReaderPiece> out;
    if (open_ && NowMs - openSince_ > WaitMs) {
        Drop(out, std::move(*open_), "its ETX did not come within a second");
        open_.reset();
        skipping_ = true;  // what is left of it, up to its ETX, goes with it
    }
    return out;
}

std::optional<std::int64_t> TReaderFrames::ExpiresAt() const
{
    if (!open_)
        return std::nullopt;
    return openSince_ + WaitMs + 1;
}

std::vector<TReaderPiece> TReaderFrames::Take(const std::string& Read, std::int64_t NowMs)
{
    std::vector<TReaderPiece> out = Expire(NowMs);
    if (noiseAt_ && NowMs - *noiseAt_ > WaitMs)
        noiseAt_.reset();

    const std::uint64_t first = taken_;  // the position of Read's first byte
    taken_ += Read.size();
    // A gap from `from` to `to`, both included: bare text that starts at a
    // gap may have lost its head there, and bare text that ends at one its
    // tail.
    auto gapWithin = [&](std::uint64_t from, std::uint64_t to) {
        const auto it = gaps_.lower_bound(from);
        return it != gaps_.end() && *it <= to;
    };
    struct PruneGaps {
        std::set<std::uint64_t>& gaps;
        std::uint64_t taken;
        ~PruneGaps() { gaps.erase(gaps.begin(), gaps.lower_bound(taken)); }
    } prune{gaps_, taken_};

    // Bare text: one read is one frame, as long as it can be one card.
    if (!CutsAtMarks(Read)) {
        std::size_t start = 0;
        if (afterEtx_) {
            while (start < Read.size() && Blank(Read[start]))
                ++start;
            if (start == Read.size() && !Read.empty())
                return out;  // a frame's trailer
        }
        afterEtx_ = false;
        std::string text = Read.substr(start);
        if (text.empty()) {
            // A read that found nothing is an empty frame, as it always was.
            out.push_back({TReaderPiece::TKind::Frame, {}, {}});
        } else if (noiseAt_ || Read.size() >= ReadLength) {
            noiseAt_ = NowMs;
            Noise(out, std::move(text));
        } else if (gapWithin(first, first + Read.size())) {
            Drop(out, std::move(text), GapReason);
        } else {
            out.push_back({TReaderPiece::TKind::Frame, std::move(text), {}});
        }
        return out;
    }

    std::string noise;
    auto flushNoise = [&] {
        if (noise.empty())
            return;
        Noise(out, std::move(noise));
        noise.clear();
    };
    for (std::size_t i = 0; i < Read.size(); ++i) {
        const char c = Read[i];
        if (open_ && gaps_.count(first + i) != 0) {
            Drop(out, std::move(*open_), GapReason);
            open_.reset();
            skipping_ = true;
        }
        if (skipping_) {
            if (c == Etx) {
                skipping_ = false;
                afterEtx_ = true;
                continue;
            }
            if (c != Stx)
                continue;
            skipping_ = false;
        }
        if (open_) {
            if (c == Stx) {
                Drop(out, std::move(*open_), "a new frame's STX came before its ETX");
                open_ = std::string(1, Stx);
                openSince_ = NowMs;
                continue;
            }
            *open_ += c;
            if (c == Etx) {
                out.push_back({TReaderPiece::TKind::Frame, std::move(*open_), {}});
                open_.reset();
                afterEtx_ = true;
                noiseAt_.reset();
            } else if (open_->size() > LongestFrame) {
                Drop(out, std::move(*open_),
                     "longer than " + std::to_string(LongestFrame) + " characters without an ETX");
                open_.reset();
                skipping_ = true;
            }
            continue;
        }
        if (c == Stx) {
            flushNoise();
            open_ = std::string(1, Stx);
            openSince_ = NowMs;
            afterEtx_ = false;
            continue;
        }
        if (afterEtx_ && Blank(c))
            continue;  // the frame's trailer
        afterEtx_ = false;
        noise += c;
    }
    if (!noise.empty()) {
        noiseAt_ = NowMs;
        flushNoise();
    }
    return out;
}

void TReaderFrames::BytesMayBeMissingAt(std::uint64_t Position)
{
    if (Position >= taken_)
        gaps_.insert(Position);
}

bool TReaderFrames::CutsAtMarks(const std::string& Read) const
{
    return open_ || skipping_ || Read.find(Stx) != std::string::npos;
}

std::vector<TReaderPiece> TReaderFrames::Abandon(const std::string& Reason)
{
    std::vector<TReaderPiece> out;
    if (open_) {
        Drop(out, std::move(*open_), Reason);
        open_.reset();
        skipping_ = true;
    }
    return out;
}

void TReaderFrames::Listening(std::int64_t NowMs)
{
    if (open_)
        openSince_ = NowMs;
}

std::optional<std::string> FieldChecksumFault(const std::string& Frame)
{
    const bool plain = Frame.size() == 14;
    const bool crlf = Frame.size() == 16 && Frame[13] == '\r' && Frame[14] == '\n';
    if (!(plain || crlf) || Frame.front() != TReaderFrames::Stx || Frame.back() != TReaderFrames::Etx)
        return std::nullopt;
    int digits[12];
    for (std::size_t i = 0; i < 12; ++i) {
        digits[i] = HexDigitValue(Frame[i + 1]);
        if (digits[i] < 0)
            return std::nullopt;  // another layout
    }
    int expected = 0;
    for (std::size_t i = 0; i < 10; i += 2)
        expected ^= digits[i] * 16 + digits[i + 1];
    const int sent = digits[10] * 16 + digits[11];
    if (sent == expected)
        return std::nullopt;
    char reason[96];
    std::snprintf(reason, sizeof reason, "check digits %c%c, but the card's bytes give %02X", Frame[11], Frame[12],
                  static_cast<unsigned>(expected));
    return std::string(reason);
}
