#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "address_prefix.h"
#include "authenticator.h"
#include "basic_auth.h"
#include "test_hashes.h"

namespace {

const std::string kAliceHash = MakeBcryptHash("correct horse");

TEST(BasicAuthorization, ParsesOnlyWellFormedBasicCredentials)
{
    struct Case {
        const char* header;
        bool parsed;
        const char* user;
        const char* password;
    } cases[] = {
        {"Basic YWxpY2U6Y29ycmVjdCBob3JzZQ==", true, "alice", "correct horse"},
        {"basic YWxpY2U6YTpi", true, "alice", "a:b"}, // the first colon separates
        {"BASIC  YWxpY2U6 ", true, "alice", ""},
        {"Basic YWxpY2U=", false, "", ""},             // no colon
        {"Basic YWxpY2U6Y29ycmVjdCBob3JzZQ", false, "", ""}, // not padded
        {"Basic YWxp*2U6", false, "", ""},
        {"Basic ====", false, "", ""},
        {"Bearer YWxpY2U6eA==", false, "", ""},
        {"Basic", false, "", ""},
        {"", false, "", ""},
    };
    for (const Case& c : cases) {
        const auto credentials = ParseBasicAuthorization(c.header);
        ASSERT_EQ(credentials.has_value(), c.parsed) << c.header;
        if (credentials) {
            EXPECT_EQ(credentials->user, c.user);
            EXPECT_EQ(credentials->password, c.password);
        }
    }
}

TEST(BasicAuthorization, BcryptMatchesOnlyTheWholePassword)
{
    EXPECT_TRUE(BcryptMatches("correct horse", kAliceHash));
    EXPECT_FALSE(BcryptMatches("correct hors", kAliceHash));
    EXPECT_FALSE(BcryptMatches(std::string("correct horse\0x", 15), kAliceHash));
}

std::string Header(const std::string& base64) { return "Basic " + base64; }

TEST(Authenticator, CachesVerifiedPasswordsAndLimitsFailuresPerAddress)
{
    WebConfig config;
    config.users["alice"] = kAliceHash;
    Authenticator auth;
    const auto start = Authenticator::Clock::now();
    const std::string good = Header("YWxpY2U6Y29ycmVjdCBob3JzZQ=="); // alice:correct horse
    const std::string wrong = Header("YWxpY2U6d3Jvbmc=");             // alice:wrong
    const std::string stranger = Header("bWFsbG9yeTp4");              // mallory:x

    EXPECT_EQ(auth.Check(config, std::nullopt, "127.0.0.2", start).kind, AuthDecision::Refused);
    const AuthDecision allowed = auth.Check(config, std::string_view(good), "127.0.0.2", start);
    EXPECT_EQ(allowed.kind, AuthDecision::Allowed);
    EXPECT_EQ(allowed.user, "alice");

    for (int i = 0; i < Authenticator::kFailuresAllowed; ++i)
        EXPECT_EQ(auth.Check(config, std::string_view(i % 2 ? wrong : stranger), "127.0.0.3", start).kind,
                  AuthDecision::Refused);
    const AuthDecision limited = auth.Check(config, std::string_view(wrong), "127.0.0.3", start);
    EXPECT_EQ(limited.kind, AuthDecision::Limited);
    EXPECT_EQ(limited.retryAfterSeconds, 60);
    // The password verified before still passes from the limited address,
    // at no bcrypt; another network is not limited at all.
    EXPECT_EQ(auth.Check(config, std::string_view(good), "127.0.0.3", start).kind, AuthDecision::Allowed);
    EXPECT_EQ(auth.Check(config, std::string_view(wrong), "127.0.1.4", start).kind, AuthDecision::Refused);
    // Once the window is over, the address may try again.
    const auto later = start + Authenticator::kFailureWindow;
    EXPECT_EQ(auth.Check(config, std::string_view(wrong), "127.0.0.3", later).kind, AuthDecision::Refused);

    // A changed hash is verified afresh: the old password no longer passes.
    config.users["alice"] = MakeBcryptHash("another password");
    EXPECT_EQ(auth.Check(config, std::string_view(good), "127.0.0.5", later).kind, AuthDecision::Refused);
}

TEST(Authenticator, AnUnverifiedRightPasswordWaitsOutTheLimitToo)
{
    WebConfig config;
    config.users["alice"] = kAliceHash;
    Authenticator auth;
    const auto now = Authenticator::Clock::now();
    for (int i = 0; i <= Authenticator::kFailuresAllowed; ++i)
        auth.Check(config, std::string_view("Basic YWxpY2U6d3Jvbmc="), "127.0.0.6", now);
    EXPECT_EQ(auth.Check(config, std::string_view("Basic YWxpY2U6Y29ycmVjdCBob3JzZQ=="), "127.0.0.6", now).kind,
              AuthDecision::Limited);
}

TEST(AddressPrefix, OneBudgetPerIpv4SlashTwentyFourAndIpv6SlashSixtyFour)
{
    const std::pair<const char*, const char*> cases[] = {
        {"192.0.2.7", "192.0.2.0/24"},
        {"192.0.2.255", "192.0.2.0/24"},
        {"::ffff:192.0.2.7", "192.0.2.0/24"}, // as a dual-stack socket shows an IPv4 client
        {"2001:db8:1:2:aaaa:bbbb:cccc:dddd", "2001:db8:1:2::/64"},
        {"2001:db8:1:2::1", "2001:db8:1:2::/64"},
        {"fe80::1%eth0", "fe80::/64"},
        {"::1", "::/64"},
        {"not an address", "not an address"},
    };
    for (const auto& [address, prefix] : cases)
        EXPECT_EQ(AddressPrefix(address), prefix) << address;
}

// Failures from the first addresses, then what each later attempt gets.
TEST(Authenticator, FailuresAreCountedPerNetworkAndTheOverallBudgetTurnsAwayOnlyNetworksThatFailed)
{
    WebConfig config;
    config.users["alice"] = kAliceHash;
    const std::string good = Header("YWxpY2U6Y29ycmVjdCBob3JzZQ=="); // alice:correct horse
    const std::string wrong = Header("YWxpY2U6d3Jvbmc=");             // alice:wrong
    const std::string stranger = Header("bWFsbG9yeTp4");              // mallory:x
    struct Attempt {
        std::string address;
        std::string header;
        AuthDecision::Kind kind;
    };
    const struct Case {
        const char* what;
        std::vector<std::string> failing; // each fails once, in turn
        std::vector<Attempt> then;
    } cases[] = {
        {"neighbours share one budget",
         {"192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.4", "192.0.2.5", "192.0.2.6", "192.0.2.7", "192.0.2.8",
          "192.0.2.9", "192.0.2.10"},
         {{"192.0.2.200", wrong, AuthDecision::Limited},
          {"::ffff:192.0.2.201", good, AuthDecision::Limited},
          {"192.0.3.1", wrong, AuthDecision::Refused},
          {"192.0.3.2", good, AuthDecision::Allowed}}},
        {"an IPv6 /64 is one network, IPv4-mapped addresses are IPv4",
         {"2001:db8:1:2::1", "2001:db8:1:2::2", "2001:db8:1:2::3", "2001:db8:1:2::4", "2001:db8:1:2::5",
          "::ffff:198.51.100.1", "::ffff:198.51.100.2", "198.51.100.3", "2001:db8:1:2:ffff::6", "2001:db8:1:2::7",
          "2001:db8:1:2::8", "2001:db8:1:2::9", "2001:db8:1:2::a"},
         {{"2001:db8:1:2:1234::1", stranger, AuthDecision::Limited},
          {"2001:db8:1:3::1", wrong, AuthDecision::Refused},
          {"198.51.100.4", wrong, AuthDecision::Refused}}},
    };
    for (const Case& c : cases) {
        Authenticator auth;
        const auto now = Authenticator::Clock::now();
        for (std::size_t i = 0; i < c.failing.size(); ++i)
            EXPECT_EQ(auth.Check(config, std::string_view(i % 2 ? wrong : stranger), c.failing[i], now).kind,
                      AuthDecision::Refused)
                << c.what << ": " << c.failing[i];
        for (const Attempt& attempt : c.then)
            EXPECT_EQ(auth.Check(config, std::string_view(attempt.header), attempt.address, now).kind, attempt.kind)
                << c.what << ": " << attempt.address;
    }
}

TEST(Authenticator, WhenAllNetworksHaveSpentTheBudgetOnlyThoseThatFailedWait)
{
    WebConfig config;
    config.users["alice"] = kAliceHash;
    config.users["carol"] = MakeBcryptHash("carol");
    const std::string good = Header("YWxpY2U6Y29ycmVjdCBob3JzZQ==");
    const std::string wrong = Header("YWxpY2U6d3Jvbmc=");
    const std::string carol = Header("Y2Fyb2w6Y2Fyb2w="); // carol:carol
    Authenticator auth;
    const auto start = Authenticator::Clock::now();
    // The operator's password, verified once from home.
    ASSERT_EQ(auth.Check(config, std::string_view(good), "203.0.113.5", start).kind, AuthDecision::Allowed);
    // Many networks, each within its own budget, spend all of it together.
    int failures = 0;
    for (int network = 0; failures < Authenticator::kAllFailuresAllowed; ++network)
        for (int i = 0; i + 1 < Authenticator::kFailuresAllowed && failures < Authenticator::kAllFailuresAllowed; ++i) {
            const std::string address = "127.10." + std::to_string(network) + "." + std::to_string(i + 1);
            ASSERT_EQ(auth.Check(config, std::string_view(wrong), address, start).kind, AuthDecision::Refused)
                << address;
            ++failures;
        }
    const auto later = start + std::chrono::seconds(20);
    const struct {
        const char* address;
        const std::string& header;
        AuthDecision::Kind kind;
    } attempts[] = {
        {"127.10.0.200", wrong, AuthDecision::Limited},   // a network that failed
        {"127.10.1.200", carol, AuthDecision::Limited},   // ... even with a right password not verified yet
        {"127.10.2.200", good, AuthDecision::Allowed},    // one verified before is never turned away
        {"198.51.100.9", carol, AuthDecision::Allowed}, // a network that has not failed is heard
        {"192.0.2.9", wrong, AuthDecision::Refused},    // ... and heard when wrong,
        {"192.0.2.10", wrong, AuthDecision::Limited},   // after which it has failed too
    };
    for (const auto& attempt : attempts)
        EXPECT_EQ(auth.Check(config, std::string_view(attempt.header), attempt.address, later).kind, attempt.kind)
            << attempt.address;
    // Told to come back when the overall while is over, not when its own is.
    EXPECT_EQ(auth.Check(config, std::string_view(wrong), "192.0.2.11", later).retryAfterSeconds, 40);
    const auto over = start + Authenticator::kFailureWindow;
    EXPECT_EQ(auth.Check(config, std::string_view(wrong), "127.10.0.202", over).kind, AuthDecision::Refused);
}

TEST(Authenticator, EveryFailedCheckLastsAsLongAsTheCostliestWhoeverItWasFor)
{
    WebConfig config;
    config.users["alice"] = kAliceHash;
    config.users["bob"] = MakeBcryptHash("bob's");
    config.failedCheckFloor = std::chrono::milliseconds(300);
    const std::pair<const char*, const char*> failing[] = {
        {"alice, wrong", "YWxpY2U6d3Jvbmc="},  // alice:wrong
        {"unknown user", "bWFsbG9yeTp4"},      // mallory:x
    };
    for (const auto& [what, base64] : failing) {
        Authenticator auth;
        const auto began = std::chrono::steady_clock::now();
        const AuthDecision decision = auth.Check(config, std::string_view(Header(base64)), "127.0.0.1");
        EXPECT_EQ(decision.kind, AuthDecision::Refused);
        EXPECT_GE(decision.answerNotBefore - began, config.failedCheckFloor) << what;
        // The check itself does not wait: the server answers on a timer.
        EXPECT_LT(std::chrono::steady_clock::now() - began, config.failedCheckFloor) << what;
    }
}

} // namespace
