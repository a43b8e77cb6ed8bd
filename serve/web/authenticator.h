// Who a request comes from, by HTTP basic authentication against the web
// configuration's users. A password once verified is remembered by a
// SHA-256 of the user, the password and the hash it matched (never the
// password itself), so that a scrape every few seconds costs no bcrypt;
// a wrong one costs a bcrypt every time, and once a client address has
// failed too often in a while, its next attempts are turned away without
// one until the while is over.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "web_config.h"

struct AuthDecision {
    enum Kind {
        Allowed, // user is who it says
        Refused, // no credentials, or wrong ones: 401
        Limited  // too many failures from this address: 429
    } kind = Refused;
    std::string user;
    int retryAfterSeconds = 0; // Limited
};

class Authenticator {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kFailuresAllowed = 10;
    static constexpr std::chrono::seconds kFailureWindow{60};
    static constexpr std::size_t kMaxRemembered = 1024;  // verified credentials
    static constexpr std::size_t kMaxAddresses = 4096;   // addresses with recent failures

    // The decision when it costs no bcrypt (no credentials, a remembered
    // password, an address being turned away); nothing when it would.
    std::optional<AuthDecision> Decided(const WebConfig& config, std::optional<std::string_view> header,
                                        const std::string& address, Clock::time_point now = Clock::now());
    // header: the request's Authorization header, if it had one.
    AuthDecision Check(const WebConfig& config, std::optional<std::string_view> header, const std::string& address,
                       Clock::time_point now = Clock::now());

private:
    struct Failures {
        Clock::time_point windowStart;
        int count = 0;
    };
    bool Remembered(const std::string& key);
    void Remember(const std::string& key);
    // Seconds until address may try again; 0 when it may now.
    int LimitedFor(const std::string& address, Clock::time_point now);
    void Failed(const std::string& address, Clock::time_point now);

    std::mutex mutex_;
    std::set<std::string> verified_; // SHA-256 digests
    std::map<std::string, Failures> failures_;
};
