// HTTP basic authentication against bcrypt hashes: the Authorization
// header's parsing and one password's check with the system's crypt_r.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct BasicCredentials {
    std::string user;
    std::string password;
};

// "Basic " and the base64 of "user:password" (the scheme's name in any
// case); nothing for any other header, for base64 that is not canonical,
// or for a decoded text without a colon.
std::optional<BasicCredentials> ParseBasicAuthorization(std::string_view header);

// True when password hashes to hash (a bcrypt hash), at bcrypt's full cost.
bool BcryptMatches(const std::string& password, const std::string& hash);
