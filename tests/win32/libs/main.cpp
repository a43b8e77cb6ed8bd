// Checks that OpenSSL, yaml-cpp and libxcrypt, built for Windows by
// scripts/win32-libs.sh and linked statically into this one program, work:
//
//   win32_libs_check CERT_FILE KEY_FILE HASH_FILE
//
// CERT_FILE is a certificate for 127.0.0.1 with its key KEY_FILE; HASH_FILE
// holds bcrypt hashes, one a line, of the password in the environment's
// KORVANTHINE_CHECK_PASSWORD. Ends with "N passed, N failed".
#include "bcrypt_check.h"
#include "tls_loopback.h"
#include "yaml_check.h"

#include <winsock2.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

struct Check {
    std::string name;
    std::function<CheckResult()> run;
};

// The client must refuse the certificate for naming another address, and
// for that reason: a handshake that failed otherwise proves nothing.
CheckResult tls_refuses_other_address(const std::string& cert, const std::string& key) {
    CheckResult result = tls_loopback(cert, key, "127.0.0.2");
    if (result.passed) return {false, "the client took a certificate of 127.0.0.1 for 127.0.0.2"};
    bool mismatch = result.detail.find("IP address mismatch") != std::string::npos;
    return {mismatch, result.detail};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || std::getenv("KORVANTHINE_CHECK_PASSWORD") == nullptr) {
        std::fprintf(stderr, "usage: KORVANTHINE_CHECK_PASSWORD=... win32_libs_check CERT_FILE KEY_FILE HASH_FILE\n");
        return 2;
    }
    const std::string cert = argv[1], key = argv[2], password = std::getenv("KORVANTHINE_CHECK_PASSWORD");
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
        std::fprintf(stderr, "WSAStartup failed\n");
        return 1;
    }

    std::vector<Check> checks = {
        {"TLS over 127.0.0.1 with the certificate checked", [&] { return tls_loopback(cert, key, "127.0.0.1"); }},
        {"TLS refused for a certificate of another address", [&] { return tls_refuses_other_address(cert, key); }},
        {"YAML web configuration read", yaml_reads_web_config},
        {"YAML fault found at its line", yaml_refuses_broken_text},
    };
    std::ifstream hash_file(argv[3]);
    int hashes = 0;
    for (std::string hash; std::getline(hash_file, hash);) {
        if (hash.size() < 7) continue;
        ++hashes;
        checks.push_back({"bcrypt " + hash.substr(0, 7) + " hash from Linux verified",
                          [hash, password] { return bcrypt_verifies(hash, password); }});
        // serve takes both spellings; for libxcrypt they are the same hash.
        std::string other = (hash.compare(0, 4, "$2y$") == 0 ? "$2b$" : "$2y$") + hash.substr(4);
        checks.push_back({"bcrypt " + other.substr(0, 7) + " spelling verified",
                          [other, password] { return bcrypt_verifies(other, password); }});
    }
    if (hashes == 0) {
        std::fprintf(stderr, "no hash in %s\n", argv[3]);
        return 2;
    }

    int passed = 0, failed = 0;
    for (const Check& check : checks) {
        CheckResult result = check.run();
        std::printf("%s %s: %s\n", result.passed ? "ok    " : "FAILED", check.name.c_str(), result.detail.c_str());
        ++(result.passed ? passed : failed);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    WSACleanup();
    return failed == 0 ? 0 : 1;
}
