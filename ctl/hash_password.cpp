// hash-password: a user's line for the web configuration's basic_auth_users,
// hashed with the crypt library serve's authenticator checks passwords
// with, so that what is printed is exactly what serve verifies. The
// password is asked for twice at a terminal, with echo off; from a pipe it
// is the first line. It is never printed, and wiped once hashed.
#include <crypt.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include "ctl_commands.h"
#include "exit_status.h"
#include "standard_output.h"
#include "quiet_terminal.h"
#include "stop_request.h"

namespace {

// bcrypt's cost: 2^12 rounds, a quarter of a second or so a check.
constexpr unsigned long kBcryptCost = 12;
// bcrypt reads no further: a longer password would match any with the same start.
constexpr std::size_t kBcryptMaxBytes = 72;

bool ReadNewPassword(std::string* password)
{
    if (!StandardInputIsTerminal()) {
        if (!std::getline(std::cin, *password)) {
            std::fprintf(stderr, "korvanthine-ctl: no password on standard input\n");
            return false;
        }
    } else {
        std::string again;
        if (!AskOnStandardInput("New password: ", password) || !AskOnStandardInput("The same again: ", &again))
            return false;
        const bool same = *password == again;
        OPENSSL_cleanse(again.data(), again.size());
        if (!same) {
            std::fprintf(stderr, "korvanthine-ctl: the two passwords differ; nothing was printed\n");
            return false;
        }
    }
    if (!password->empty() && password->back() == '\r')
        password->pop_back();
    return true;
}

// Why the password will not do; "" when it will.
std::string PasswordProblem(const std::string& password)
{
    if (password.empty())
        return "the password is empty";
    if (password.find('\0') != std::string::npos)
        return "the password holds a zero byte, which no check can match";
    if (password.size() > kBcryptMaxBytes)
        return "the password is longer than bcrypt's " + std::to_string(kBcryptMaxBytes) + " bytes";
    return "";
}

// A new salt and the hash: "" when the library could not make them.
std::string BcryptHash(const std::string& password)
{
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    // The salt's bytes from OpenSSL's generator: the crypt library has no
    // random source of its own on every platform (none on Windows).
    unsigned char salt[16];
    if (RAND_bytes(salt, sizeof salt) != 1)
        return "";
    const char* made = crypt_gensalt_rn("$2y$", kBcryptCost, reinterpret_cast<const char*>(salt), sizeof salt,
                                        setting, sizeof setting);
    OPENSSL_cleanse(salt, sizeof salt);
    if (made == nullptr)
        return "";
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof(crypt_data));
    const char* hash = crypt_r(password.c_str(), setting, data.get());
    std::string result = hash != nullptr && hash[0] == '$' ? hash : "";
    OPENSSL_cleanse(data.get(), sizeof(crypt_data));
    return result;
}

} // namespace

int RunHashPassword(const CtlRequest& request)
{
    std::string password;
    if (!ReadNewPassword(&password))
        return StopRequested() ? kExitFailure : kExitUsage;
    const std::string problem = PasswordProblem(password);
    const std::string hash = problem.empty() ? BcryptHash(password) : "";
    OPENSSL_cleanse(password.data(), password.size());
    if (!problem.empty()) {
        std::fprintf(stderr, "korvanthine-ctl: %s; nothing was printed\n", problem.c_str());
        return kExitUsage;
    }
    if (hash.empty()) {
        std::fprintf(stderr, "korvanthine-ctl: the crypt library made no bcrypt hash\n");
        return kExitFailure;
    }
    return PrintToStandardOutput(request.user + ": " + hash + "\n") ? kExitOk : kExitFailure;
}
