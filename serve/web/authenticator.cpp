#include "authenticator.h"


#include <openssl/sha.h>

#include "address_prefix.h"
#include "basic_auth.h"

namespace {

// The key of a verified password. The hash is in it so that a user whose
// hash changes in the configuration is verified afresh.
std::string CredentialKey(const BasicCredentials& credentials, const std::string& hash)
{
    std::string material = credentials.user;
    material += '\0';
    material += credentials.password;
    material += '\0';
    material += hash;
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(material.data()), material.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

} // namespace

std::optional<AuthDecision> Authenticator::Decided(const WebConfig& config, std::optional<std::string_view> header,
                                                   const std::string& address, Clock::time_point now)
{
    AuthDecision decision;
    const std::optional<BasicCredentials> credentials = header ? ParseBasicAuthorization(*header) : std::nullopt;
    if (!credentials)
        return decision;
    const auto user = config.users.find(credentials->user);
    if (user != config.users.end() && Remembered(CredentialKey(*credentials, user->second))) {
        decision.kind = AuthDecision::Allowed;
        decision.user = user->first;
        return decision;
    }
    if (const int wait = LimitedFor(AddressPrefix(address), now); wait > 0) {
        decision.kind = AuthDecision::Limited;
        decision.retryAfterSeconds = wait;
        return decision;
    }
    return std::nullopt;
}

AuthDecision Authenticator::Check(const WebConfig& config, std::optional<std::string_view> header,
                                  const std::string& address, Clock::time_point now)
{
    // Asked for a password, remembered, or turned away: no bcrypt. Taken
    // again here, as another request may have verified the same meanwhile.
    if (const std::optional<AuthDecision> decided = Decided(config, header, address, now))
        return *decided;
    AuthDecision decision;
    const BasicCredentials credentials = *ParseBasicAuthorization(*header);
    const auto user = config.users.find(credentials.user);
    // Timing must not tell which names exist, nor whose hash is cheap: an
    // unknown user costs the costliest bcrypt, and every failure is answered
    // no sooner than that one took when the configuration was loaded (the
    // caller waits without holding a worker).
    const auto began = Clock::now();
    bool matches = false;
    if (user != config.users.end())
        matches = BcryptMatches(credentials.password, user->second);
    else if (!config.users.empty())
        BcryptMatches(credentials.password, CostliestHash(config));
    if (!matches) {
        Failed(AddressPrefix(address), now);
        decision.answerNotBefore = began + config.failedCheckFloor;
        return decision;
    }
    Remember(CredentialKey(credentials, user->second));
    decision.kind = AuthDecision::Allowed;
    decision.user = user->first;
    return decision;
}

bool Authenticator::Remembered(const std::string& key)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return verified_.count(key) != 0;
}

void Authenticator::Remember(const std::string& key)
{
    std::lock_guard<std::mutex> lock(mutex_);
    // Bounded: a full cache starts again rather than grow without end.
    if (verified_.size() >= kMaxRemembered)
        verified_.clear();
    verified_.insert(key);
}

void Authenticator::Failures::Add(Clock::time_point now)
{
    if (!Current(now)) {
        windowStart = now;
        count = 0;
    }
    ++count;
}

int Authenticator::LimitedFor(const std::string& network, Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = failures_.find(network);
    if (found == failures_.end())
        return 0;
    if (!found->second.Current(now)) {
        failures_.erase(found);
        return 0;
    }
    Clock::time_point until = found->second.windowStart + kFailureWindow;
    if (found->second.count < kFailuresAllowed) {
        // Within its own budget: turned away only while all networks
        // together have spent theirs.
        if (!allFailures_.Current(now) || allFailures_.count < kAllFailuresAllowed)
            return 0;
        until = std::min(until, allFailures_.windowStart + kFailureWindow);
    }
    return static_cast<int>(std::chrono::ceil<std::chrono::seconds>(until - now).count());
}

void Authenticator::Failed(const std::string& network, Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (failures_.size() >= kMaxNetworks && failures_.count(network) == 0) {
        // Forget the windows that are over; if none is, the oldest.
        for (auto it = failures_.begin(); it != failures_.end();)
            it = it->second.Current(now) ? std::next(it) : failures_.erase(it);
        if (failures_.size() >= kMaxNetworks) {
            auto oldest = failures_.begin();
            for (auto it = failures_.begin(); it != failures_.end(); ++it)
                if (it->second.windowStart < oldest->second.windowStart)
                    oldest = it;
            failures_.erase(oldest);
        }
    }
    failures_[network].Add(now);
    allFailures_.Add(now);
}
