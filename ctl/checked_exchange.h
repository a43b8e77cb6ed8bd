// The exchanges of korvanthine-ctl (and of serve), judged strictly: a
// reading exists only when its reply is exactly 12 bytes of the form
// "*", eight lower-case hex digits, two lower-case hex digits, "^". The link
// itself stays tolerant (the panel relies on that); this layer looks at the
// raw reply the link keeps and decides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

enum class ReplyKind {
    Complete, // well-formed: the value stands
    Silent,   // not one byte came back
    Short,    // some bytes, fewer than 12
    Corrupt,  // 12 bytes, but not of the reply's form
    NotSent,  // skipped: the line was already found silent
    Refused,  // kept off the line by the limits of the serve that holds it
    Late      // not sent: serve's line was held by other writers past the deadline
};

struct Reply {
    ReplyKind kind = ReplyKind::NotSent;
    int value = 0; // meaningful only when Complete

    bool Complete() const { return kind == ReplyKind::Complete; }
};

// True for exactly "*" + 8 lower-case hex digits + 2 lower-case hex digits
// (the checksum, whose value is not judged) + "^".
bool IsWellFormedReply(const char* bytes, std::size_t length);

// How a failed exchange is introduced on standard error: "no complete reply
// to" (silent or short), "corrupt reply to", "not sent, the controller being
// silent"; a colon and the exchange follow.
const char* ReplyKindText(ReplyKind kind);

// How a reply of length bytes, with waiting more bytes behind them in the
// input queue, is judged.
ReplyKind JudgeReply(const char* bytes, std::size_t length, unsigned waiting);

// A reply as a line gave it: its bytes (0 ... 12) and how many more were
// found waiting behind them.
struct RawReply {
    std::string bytes;
    unsigned waiting = 0;
    std::string refused; // not sent: serve's limits refused it, and why
    bool late = false;   // not sent: its turn on the line did not come in time
};
// One whole exchange carried out by whoever owns the line (serve's line
// thread for a write from the network): a request frame in, its reply out.
using FrameExchange = std::function<RawReply(const std::string& frame)>;

// A run of exchanges (one pass, one command): after two exchanges in a row
// that received no byte at all, the controller is taken as silent and the
// rest of the run is not sent, so a silent line costs two read bounds, not
// one per exchange. A single lost reply costs only its own reading.
class ExchangeSeries {
public:
    // Through this process's link.
    ExchangeSeries() = default;
    // Through exchange: the same frames, judged the same way.
    explicit ExchangeSeries(FrameExchange exchange) : exchange_(std::move(exchange)) {}

    // A query ("0100000002", "00") through the link's QueryController.
    Reply Query(const std::string& body);
    // A write through the link's WriteController.
    Reply Write(const char* code, std::int32_t value);
    // True once two exchanges in a row received nothing.
    bool LineSilent() const { return silentInARow_ >= kSilentExchangesToGiveUp; }
    // Why serve's limits refused the latest exchange (ReplyKind::Refused); "" otherwise.
    const std::string& LastRefusal() const { return lastRefusal_; }

    static constexpr int kSilentExchangesToGiveUp = 2;

private:
    Reply Judge(int value);
    Reply Exchanged(bool built, const char* frame);
    FrameExchange exchange_;
    int silentInARow_ = 0;
    std::string lastRefusal_;
};

struct FailedExchange {
    std::string what; // e.g. "power of channel 2 (0300000001)"
    ReplyKind kind;
    std::string why = ""; // Refused: the limit
};

// On standard error, one line per kind of failure, e.g.
// "korvanthine-ctl: no complete reply to: a, b" and
// "korvanthine-ctl: corrupt reply to: c"; when is put in front if not empty.
void ReportFailedExchanges(const std::vector<FailedExchange>& failed, const std::string& when);
