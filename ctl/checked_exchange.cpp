#include "checked_exchange.h"

#include <cstdio>
#include <utility>

#include "exchange.h"
#include "shared_line.h"
#include "frame_codec.h"

namespace {

bool IsLowerHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
}

} // namespace

bool IsWellFormedReply(const char* bytes, std::size_t length)
{
    if (length != kReplyLength || bytes[0] != '*' || bytes[kReplyLength - 1] != '^')
        return false;
    for (std::size_t i = 1; i < kReplyLength - 1; ++i)
        if (!IsLowerHexDigit(bytes[i]))
            return false;
    // The two digits before "^" are the controller's checksum, whose rule
    // for replies no controller documents; taking it as a request's would
    // refuse a controller that sums otherwise, so only its form is judged.
    return true;
}

const char* ReplyKindText(ReplyKind kind)
{
    switch (kind) {
    case ReplyKind::Complete:
        return "complete reply to";
    case ReplyKind::Silent:
    case ReplyKind::Short:
        return "no complete reply to";
    case ReplyKind::Corrupt:
        return "corrupt reply to";
    case ReplyKind::Refused:
        return "refused by the limits of the serve that holds the line";
    case ReplyKind::Late:
        return "not sent, the line being held by other writers past the deadline";
    case ReplyKind::NotSent:
        break;
    }
    return "not sent, the controller being silent";
}

ReplyKind JudgeReply(const char* bytes, std::size_t length, unsigned waiting)
{
    if (length == 0)
        return ReplyKind::Silent;
    if (length < kReplyLength)
        return ReplyKind::Short;
    // Bytes already waiting behind the twelfth make the reply too long: the
    // controller did not send what was asked, whatever the first 12 say.
    if (!IsWellFormedReply(bytes, length) || waiting != 0)
        return ReplyKind::Corrupt;
    return ReplyKind::Complete;
}

Reply ExchangeSeries::Query(const std::string& body)
{
    lastRefusal_.clear();
    if (LineSilent())
        return Reply{};
    if (!exchange_)
        return Judge(QueryController(body.c_str()));
    char frame[kFrameBufferSize];
    return Exchanged(BuildQueryFrame(body.c_str(), frame), frame);
}

Reply ExchangeSeries::Write(const char* code, std::int32_t value)
{
    if (LineSilent())
        return Reply{};
    lastRefusal_.clear();
    if (!exchange_) {
        const int written = WriteController(code, value);
        // serve's limits kept it off its line: nothing was written.
        if (g_bSharedLine && !g_sharedLineWriteRefusal.empty()) {
            Reply refused;
            refused.kind = ReplyKind::Refused;
            lastRefusal_ = g_sharedLineWriteRefusal;
            silentInARow_ = 0;
            return refused;
        }
        return Judge(written);
    }
    char frame[kFrameBufferSize];
    return Exchanged(BuildWriteFrame(code, value, frame), frame);
}

Reply ExchangeSeries::Exchanged(bool built, const char* frame)
{
    Reply reply;
    if (!built) {
        reply.kind = ReplyKind::Short; // as the link: a frame too long is never sent
        return reply;
    }
    const RawReply raw = exchange_(frame);
    lastRefusal_ = raw.refused;
    if (!raw.refused.empty() || raw.late) {
        reply.kind = raw.late ? ReplyKind::Late : ReplyKind::Refused;
        silentInARow_ = 0;
        return reply;
    }
    reply.kind = JudgeReply(raw.bytes.data(), raw.bytes.size(), raw.waiting);
    if (reply.Complete())
        reply.value = ParseReplyValue(raw.bytes.substr(0, kReplyLength - 3).c_str());
    silentInARow_ = reply.kind == ReplyKind::Silent ? silentInARow_ + 1 : 0;
    return reply;
}

Reply ExchangeSeries::Judge(int value)
{
    Reply reply;
    reply.value = value;
    reply.kind = JudgeReply(g_szLastReply, g_nLastReplyLength,
                            g_nLastReplyLength < kReplyLength ? 0 : InputBytesWaiting());
    silentInARow_ = reply.kind == ReplyKind::Silent ? silentInARow_ + 1 : 0;
    return reply;
}

void ReportFailedExchanges(const std::vector<FailedExchange>& failed, const std::string& when)
{
    // One line per kind, in the order the kinds first occurred.
    std::vector<std::pair<std::string, std::string>> lines;
    for (const FailedExchange& exchange : failed) {
        const std::string kind = ReplyKindText(exchange.kind);
        auto line = lines.begin();
        while (line != lines.end() && line->first != kind)
            ++line;
        if (exchange.kind == ReplyKind::Refused) {
            // Each with its own reason: the limit it would have passed.
            lines.emplace_back(kind + ": " + exchange.what, exchange.why);
            continue;
        }
        if (line == lines.end())
            lines.emplace_back(kind, exchange.what);
        else
            line->second += ", " + exchange.what;
    }
    for (const auto& [kind, list] : lines)
        std::fprintf(stderr, "korvanthine-ctl: %s%s%s: %s\n", when.c_str(), when.empty() ? "" : ": ", kind.c_str(),
                     list.c_str());
}
