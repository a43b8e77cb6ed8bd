#include "authenticator.h"

#include <openssl/sha.h>

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
    if (const int wait = LimitedFor(address, now); wait > 0) {
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
    // An unknown user costs the same bcrypt as a known one, so that timing
    // does not tell which names exist.
    bool matches = false;
    if (user != config.users.end())
        matches = BcryptMatches(credentials.password, user->second);
    else if (!config.users.empty())
        BcryptMatches(credentials.password, config.users.begin()->second);
    if (!matches) {
        Failed(address, now);
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

int Authenticator::LimitedFor(const std::string& address, Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = failures_.find(address);
    if (found == failures_.end() || found->second.count < kFailuresAllowed)
        return 0;
    const auto left = found->second.windowStart + kFailureWindow - now;
    if (left <= Clock::duration::zero()) {
        failures_.erase(found);
        return 0;
    }
    return static_cast<int>(std::chrono::ceil<std::chrono::seconds>(left).count());
}

void Authenticator::Failed(const std::string& address, Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (failures_.size() >= kMaxAddresses && failures_.count(address) == 0) {
        // Forget the windows that are over; if none is, the oldest.
        for (auto it = failures_.begin(); it != failures_.end();)
            it = it->second.windowStart + kFailureWindow <= now ? failures_.erase(it) : std::next(it);
        if (failures_.size() >= kMaxAddresses) {
            auto oldest = failures_.begin();
            for (auto it = failures_.begin(); it != failures_.end(); ++it)
                if (it->second.windowStart < oldest->second.windowStart)
                    oldest = it;
            failures_.erase(oldest);
        }
    }
    Failures& entry = failures_[address];
    if (entry.count == 0 || entry.windowStart + kFailureWindow <= now) {
        entry.windowStart = now;
        entry.count = 0;
    }
    ++entry.count;
}
