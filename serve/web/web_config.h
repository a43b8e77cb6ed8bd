// serve's web configuration (--web.config.file), in the format Prometheus'
// exporters share: TLS for the listener, users with bcrypt hashes, and our
// own section naming the users who may write settings.
//
//   tls_server_config:
//     cert_file: bench.crt        # relative to the file's own folder
//     key_file: bench.key
//     min_version: TLS12          # or TLS13
//   basic_auth_users:
//     alice: $2y$10$...           # htpasswd -nBC 10 alice
//   korvanthine:
//     operators: [alice]
//     limits:                     # what any writer may set through serve
//       all: {set_temperature_celsius: [0, 200]}
//       "2": {set_temperature_celsius: [0, 150], output_enable: false}
//
// A file may hold limits alone: a bench with no writes from the network
// still keeps its local writers inside them.
#pragma once

#include <chrono>
#include <map>
#include <set>
#include <string>

#include "write_envelope.h"

struct WebConfig {
    bool tls = false;
    std::string certFile; // absolute, or as given when given absolute
    std::string keyFile;
    bool minTls13 = false;
    std::map<std::string, std::string> users; // name: bcrypt hash
    std::set<std::string> operators;          // each one of users
    WriteLimits limits;
    // Not from the file: how long a check against the costliest hash took
    // when the configuration was put in use. A failed check lasts at least
    // this long, whoever it was for (see authenticator.h).
    std::chrono::nanoseconds failedCheckFloor{0};

    bool AuthRequired() const { return !users.empty(); }
    bool IsOperator(const std::string& user) const { return operators.count(user) != 0; }
};

// bcrypt's cost, as a hash's two digits give it: below 4 the hash guards
// little, above 14 every check holds a worker for a second or more.
constexpr int kMinBcryptCost = 4;
constexpr int kMaxBcryptCost = 14;

// Reads and checks the file at path. On a problem, false and a message that
// names the file and the line ("web.yml:7: ..."). A key given twice in any
// mapping is a problem: of two users or two cert_files, neither is taken.
bool LoadWebConfig(const std::string& path, WebConfig* config, std::string* error);
// The same for text already read from path (path names it in messages and
// is where relative file names start).
bool LoadWebConfigText(const std::string& text, const std::string& path, WebConfig* config, std::string* error);

// True for a bcrypt hash as htpasswd -nB writes it: "$2y$" or "$2b$", two
// cost digits kMinBcryptCost ... kMaxBcryptCost, "$", 53 characters of
// bcrypt's base64.
bool IsBcryptHash(const std::string& hash);
// The cost digits of a hash's "$2y$NN$"; -1 when it has none.
int BcryptCost(const std::string& hash);
// The users' hash of the highest cost (the first of them, by name); "" without users.
std::string CostliestHash(const WebConfig& config);
