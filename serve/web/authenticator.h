// Who a request comes from, by HTTP basic authentication against the web
// configuration's users. A password once verified is remembered by a
// SHA-256 of the user, the password and the hash it matched (never the
// password itself), so that a scrape every few seconds costs no bcrypt;
// a wrong one costs a bcrypt every time, and as long as the costliest
// user's check, whoever it was for, so that its time tells nothing.
//
// Failures are counted per network (see address_prefix.h), so that a
// client cannot spread its guesses over its neighbouring addresses; once a
// network has failed too often in a while, its next attempts are turned
// away without a bcrypt until the while is over. All networks together have
// a budget too; when it is spent, only those that have failed in the while
// are turned away: an operator's address that has not failed is still
// heard, and a password verified before is never turned away.
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
        Limited  // too many failures from this network, or from all while it failed too: 429
    } kind = Refused;
    std::string user;
    int retryAfterSeconds = 0; // Limited
    // Refused after a check: not to be answered before then, so that every
    // failure lasts as long as a check of the costliest hash.
    std::chrono::steady_clock::time_point answerNotBefore{};
};

class Authenticator {
public:
    using Clock = std::chrono::steady_clock;

    static constexpr int kFailuresAllowed = 10;         // per network
    static constexpr int kAllFailuresAllowed = 100;     // all networks together
    static constexpr std::chrono::seconds kFailureWindow{60};
    static constexpr std::size_t kMaxRemembered = 1024; // verified credentials
    static constexpr std::size_t kMaxNetworks = 4096;   // networks with recent failures

    // The decision when it costs no bcrypt (no credentials, a remembered
    // password, a network being turned away); nothing when it would.
    // now: the clock of the failure budget (a test's own).
    std::optional<AuthDecision> Decided(const WebConfig& config, std::optional<std::string_view> header,
                                        const std::string& address, Clock::time_point now = Clock::now());
    // header: the request's Authorization header, if it had one.
    AuthDecision Check(const WebConfig& config, std::optional<std::string_view> header, const std::string& address,
                       Clock::time_point now = Clock::now());

private:
    struct Failures {
        Clock::time_point windowStart;
        int count = 0;

        bool Current(Clock::time_point now) const { return count > 0 && windowStart + kFailureWindow > now; }
        void Add(Clock::time_point now);
    };
    bool Remembered(const std::string& key);
    void Remember(const std::string& key);
    // Seconds until network may try again; 0 when it may now.
    int LimitedFor(const std::string& network, Clock::time_point now);
    void Failed(const std::string& network, Clock::time_point now);

    std::mutex mutex_;
    std::set<std::string> verified_; // SHA-256 digests
    std::map<std::string, Failures> failures_; // by network
    Failures allFailures_;
};
