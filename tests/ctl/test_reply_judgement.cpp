// A reading exists only from a reply that is exactly what the controller
// sends: a byte changed on the way, even one that leaves a reply of the
// right shape, makes it no reading.
#include <gtest/gtest.h>

#include <string>

#include "checked_exchange.h"

namespace {

TEST(ReplyJudgement, OnlyAWholeReplyWithItsOwnChecksumCounts)
{
    const struct {
        const char* what;
        std::string bytes;
        unsigned waiting;
        ReplyKind kind;
    } cases[] = {
        {"as sent (258, checksum 83)", "*0000010283^", 0, ReplyKind::Complete},
        {"negative (-100, checksum 00)", "*ffffff9c00^", 0, ReplyKind::Complete},
        {"a digit changed", "*0000011283^", 0, ReplyKind::Corrupt},
        {"the checksum changed", "*0000010284^", 0, ReplyKind::Corrupt},
        {"a checksum of zero for any value", "*0000010200^", 0, ReplyKind::Corrupt},
        {"more behind it", "*0000010283^", 1, ReplyKind::Corrupt},
        {"cut short", "*00000102", 0, ReplyKind::Short},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ExchangeSeries series([&](const std::string&) { return RawReply{c.bytes, c.waiting}; });
        const Reply reply = series.Query("00");
        EXPECT_EQ(reply.kind, c.kind);
        if (c.kind == ReplyKind::Complete) {
            EXPECT_EQ(reply.value, c.bytes[1] == 'f' ? -100 : 258);
        }
    }
}

} // namespace
