// A reading exists only from a reply of exactly the controller's form; its
// two checksum digits are judged by form alone, since the controller's rule
// for them is not one a program can rely on.
#include <gtest/gtest.h>

#include <string>

#include "checked_exchange.h"

namespace {

TEST(ReplyJudgement, OnlyAWholeReplyOfTheControllersFormCounts)
{
    const struct {
        const char* what;
        std::string bytes;
        unsigned waiting;
        ReplyKind kind;
    } cases[] = {
        {"as sent (258, checksum 83)", "*0000010283^", 0, ReplyKind::Complete},
        {"negative (-100, checksum 00)", "*ffffff9c00^", 0, ReplyKind::Complete},
        {"another checksum", "*0000010200^", 0, ReplyKind::Complete},
        {"a checksum in upper case", "*00000102A3^", 0, ReplyKind::Corrupt},
        {"a digit in upper case", "*000001A283^", 0, ReplyKind::Corrupt},
        {"no end mark", "*0000010283*", 0, ReplyKind::Corrupt},
        {"more behind it", "*0000010283^", 1, ReplyKind::Corrupt},
        {"cut short", "*00000102", 0, ReplyKind::Short},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ExchangeSeries series([&](const std::string&) {
            RawReply raw;
            raw.bytes = c.bytes;
            raw.waiting = c.waiting;
            return raw;
        });
        const Reply reply = series.Query("00");
        EXPECT_EQ(reply.kind, c.kind);
        if (c.kind == ReplyKind::Complete) {
            EXPECT_EQ(reply.value, c.bytes[1] == 'f' ? -100 : 258);
        }
    }
}

} // namespace
