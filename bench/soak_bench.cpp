// soak_bench: many cards through the real tarvel, counted at the window.
// It plays the card reader (the master of a fresh pseudo-terminal whose slave
// is tarvel's port, bytes paced at 9600 baud) and the focused window (on an
// Xvfb of its own, where tarvel types through XTest), runs
// `tarvel SLAVE 10 1 1` and sends two batches of distinct cards:
//   - at the reader's normal pace: a gap of 500 ms after each frame;
//   - with no gap at all: each frame's STX right after the last one's ETX.
// For each batch it prints how many cards were
//   - typed right (the card's own number, in the order sent),
//   - lost with a line (not typed, and tarvel's diagnostic stream shows the
//     card's bytes),
//   - lost silently (not typed, and no line shows them),
//   - typed wrong (a line in the window that is no card sent, or one typed
//     out of order),
// and how many frames could not be sent at all (the port took no more bytes).
// A batch ends once every card is typed, or when nothing has been typed for
// 10 s.
//
//   soak_bench [cards-per-batch]     default 1000

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "bench/BenchProcesses.h"
#include "bench/FocusWindow.h"

namespace {

using namespace bench;
using std::chrono::milliseconds;

constexpr auto kByteTime = std::chrono::nanoseconds(10'000'000'000LL / 9600);  // 10 bits at 9600 baud
constexpr milliseconds kQuietEnd{10000};

// The card's eight hex digits as tarvel's diagnostic lines show bytes.
std::string HexPairsOfCard(std::uint32_t card)
{
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08X", card);
    std::string pairs;
    for (int i = 0; i < 8; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned>(static_cast<unsigned char>(digits[i])));
        if (i != 0)
            pairs += ' ';
        pairs += pair;
    }
    return pairs;
}

struct Counts {
    std::string examples;  // the first few cards lost silently or lines typed wrong
    int right = 0;
    int lostWithLine = 0;
    int lostSilently = 0;
    int wrong = 0;
    int unsent = 0;  // frames the port never took (its input stopped)
    double seconds = 0;
};

// Sends the cards paced at 9600 baud, `gap` after each frame, while the
// window and tarvel's diagnostic stream are read; then counts.
Counts Batch(int master, FocusWindow& window, int errors, const std::vector<std::uint32_t>& cards, milliseconds gap)
{
    std::atomic<bool> sent{false};
    std::atomic<bool> giveUp{false};
    std::atomic<std::size_t> frames{0};  // frames written whole
    std::thread writer([&] {
        auto next = Clock::now();
        for (const std::uint32_t card : cards) {
            const std::string frame = FieldFrame(card);
            for (const char byte : frame) {
                std::this_thread::sleep_until(next);
                // The master does not block: a port that takes nothing more
                // must not hang the benchmark.
                while (write(master, &byte, 1) != 1) {
                    if (errno != EINTR && errno != EAGAIN)
                        Fail(std::string("cannot write into the pseudo-terminal: ") + std::strerror(errno));
                    if (giveUp)
                        return;
                    pollfd p{master, POLLOUT, 0};
                    poll(&p, 1, 100);
                }
                next = std::max(next + kByteTime, Clock::now());
            }
            ++frames;
            next += gap;
        }
        sent = true;
    });

    const auto started = Clock::now();
    std::string typed;
    std::string said;
    auto lastTyped = Clock::now();
    std::size_t lines = 0;
    for (;;) {
        pollfd fds[2] = {{window.Fd(), POLLIN, 0}, {errors, POLLIN, 0}};
        poll(fds, 2, 200);
        const std::size_t before = typed.size();
        window.Take(typed);
        if (typed.size() != before)
            lastTyped = Clock::now();
        if (fds[1].revents & POLLIN) {
            char buffer[4096];
            const ssize_t n = read(errors, buffer, sizeof buffer);
            if (n > 0)
                said.append(buffer, static_cast<std::size_t>(n));
        }
        lines = 0;
        for (const char c : typed)
            lines += c == '\n' ? 1 : 0;
        if (sent && lines >= cards.size())
            break;
        if (Clock::now() - lastTyped > kQuietEnd && Clock::now() - started > kQuietEnd) {
            giveUp = true;  // nothing typed for a while: what has not been sent is stuck
            break;
        }
    }
    writer.join();

    Counts counts;
    counts.unsent = static_cast<int>(cards.size() - frames);
    counts.seconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::map<std::string, std::size_t> position;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < cards.size(); ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "%010u", cards[i]);
        expected.emplace_back(text);
        position[text] = i;
    }
    std::vector<bool> typedRight(cards.size(), false);
    std::size_t next = 0;  // typed lines must follow the order sent
    std::size_t start = 0;
    for (std::size_t end; (end = typed.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = typed.substr(start, end - start);
        const auto it = position.find(line);
        if (it == position.end() || it->second < next || typedRight[it->second]) {
            if (++counts.wrong <= 5)
                counts.examples += "    typed wrong: \"" + line + "\"\n";
            continue;
        }
        typedRight[it->second] = true;
        next = it->second + 1;
        ++counts.right;
    }
    if (start < typed.size())
        ++counts.wrong;  // a card cut off before its Enter
    // tarvel's first few diagnostic lines, shortened.
    int shown = 0;
    for (std::size_t from = 0, end; shown < 5 && (end = said.find('\n', from)) != std::string::npos; from = end + 1) {
        counts.examples += "    tarvel said: " + said.substr(from, std::min<std::size_t>(end - from, 160)) + "\n";
        ++shown;
    }
    for (std::size_t i = 0; i < frames; ++i) {
        if (typedRight[i])
            continue;
        if (said.find(HexPairsOfCard(cards[i])) != std::string::npos)
            ++counts.lostWithLine;
        else if (++counts.lostSilently <= 5)
            counts.examples += "    lost silently: card " + std::to_string(i + 1) + ", " + expected[i] + "\n";
    }
    return counts;
}

}  // namespace

int main(int argc, char** argv)
{
    const int perBatch = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (perBatch < 1 || perBatch > 100000)
        Fail("usage: soak_bench [cards-per-batch]");
    PrepareToRunTarvel();

    pid_t xvfb = -1;
    const std::string display = StartXvfb(xvfb);
    std::optional<FocusWindow> window;
    window.emplace(display);

    const Pty reader = OpenPty(O_NONBLOCK);
    const int master = reader.master;
    const std::string slave = reader.slave;
    int errors[2];
    if (pipe2(errors, O_CLOEXEC) != 0)
        Fail("pipe");
    const pid_t tarvel = Spawn({TARVEL_PROGRAM, slave, "10", "1", "1"}, display, errors[1]);
    close(errors[1]);
    std::this_thread::sleep_for(milliseconds(1500));  // the port open and waiting

    std::printf("tarvel %s 10 1 1, typing through XTest; %d distinct cards a batch, bytes at 9600 baud\n",
                slave.c_str(), perBatch);
    std::printf("  %-28s %8s %8s %8s %8s %8s %8s\n", "batch", "right", "lost+line", "silent", "wrong", "unsent",
                "seconds");
    struct BatchSpec {
        const char* name;
        milliseconds gap;
        std::uint32_t first;
    };
    const BatchSpec batches[] = {
        {"normal pace (500 ms gap)", milliseconds(500), 0x10000000u},
        {"no gap", milliseconds(0), 0x20000000u},
    };
    int bad = 0;
    for (const BatchSpec& batch : batches) {
        std::vector<std::uint32_t> cards;
        for (int i = 0; i < perBatch; ++i)
            cards.push_back(batch.first + static_cast<std::uint32_t>(i) * 0x01234567u);
        const Counts c = Batch(master, *window, errors[0], cards, batch.gap);
        std::printf("  %-28s %8d %8d %8d %8d %8d %8.1f\n", batch.name, c.right, c.lostWithLine, c.lostSilently, c.wrong,
                    c.unsent, c.seconds);
        std::fputs(c.examples.c_str(), stdout);
        std::fflush(stdout);
        bad += c.lostSilently + c.wrong + c.unsent;
        std::this_thread::sleep_for(milliseconds(1500));
    }
    Stop(tarvel);
    window.reset();
    Stop(xvfb);
    close(master);
    return bad == 0 ? 0 : 1;
}
