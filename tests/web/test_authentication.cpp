#include <gtest/gtest.h>

#include <chrono>
#include <string>

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
    // at no bcrypt; another address is not limited at all.
    EXPECT_EQ(auth.Check(config, std::string_view(good), "127.0.0.3", start).kind, AuthDecision::Allowed);
    EXPECT_EQ(auth.Check(config, std::string_view(wrong), "127.0.0.4", start).kind, AuthDecision::Refused);
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

} // namespace
