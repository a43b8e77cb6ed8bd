// bcrypt hashes made when the test runs, by the system's crypt, in the form
// htpasswd -nB writes ("$2y$"), at the lowest cost so that tests spend
// little on bcrypt. Nothing of a password or its hash is kept in the tree.
#pragma once

#include <crypt.h>

#include <stdexcept>
#include <string>

inline std::string MakeBcryptHash(const std::string& password, const char* prefix = "$2y$")
{
    char salt[CRYPT_GENSALT_OUTPUT_SIZE];
    if (crypt_gensalt_rn(prefix, 4, nullptr, 0, salt, sizeof salt) == nullptr)
        throw std::runtime_error("crypt_gensalt_rn failed");
    crypt_data data{};
    const char* hash = crypt_r(password.c_str(), salt, &data);
    if (hash == nullptr || hash[0] == '*')
        throw std::runtime_error("crypt_r failed");
    return hash;
}
