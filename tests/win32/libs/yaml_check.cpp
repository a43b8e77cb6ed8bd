#include "yaml_check.h"

#include <yaml-cpp/yaml.h>

namespace {

constexpr char kWebConfig[] = R"(# serve's web configuration, as an operator writes it
tls_server_config:
  cert_file: C:\ProgramData\korvanthine\server.crt
  key_file: "C:\\ProgramData\\korvanthine\\server.key"
  min_version: TLS12
basic_auth_users:
  alice: $dollar$signs$and:colons
  bob: 'quoted $value'
allowed_networks: [127.0.0.0/8, "::1/128"]
)";

// The second mapping's key is indented under a scalar: no YAML at line 3.
constexpr char kBroken[] = "tls_server_config:\n  cert_file: a\n   key_file: b\n";

}  // namespace

CheckResult yaml_reads_web_config() {
    try {
        YAML::Node root = YAML::Load(kWebConfig);
        YAML::Node tls = root["tls_server_config"];
        YAML::Node users = root["basic_auth_users"];
        YAML::Node networks = root["allowed_networks"];
        if (!tls.IsMap() || !users.IsMap() || !networks.IsSequence()) return {false, "a section has the wrong kind"};
        if (tls["cert_file"].as<std::string>() != R"(C:\ProgramData\korvanthine\server.crt)" ||
            tls["key_file"].as<std::string>() != R"(C:\ProgramData\korvanthine\server.key)")
            return {false, "a file name came out changed"};
        if (users.size() != 2 || users["alice"].as<std::string>() != "$dollar$signs$and:colons"
            || users["bob"].as<std::string>() != "quoted $value")
            return {false, "the users came out wrong"};
        if (networks.size() != 2 || networks[1].as<std::string>() != "::1/128") return {false, "the networks came out wrong"};
        return {true, std::to_string(users.size()) + " users, min_version " + tls["min_version"].as<std::string>()};
    } catch (const YAML::Exception& e) {
        return {false, e.what()};
    }
}

CheckResult yaml_refuses_broken_text() {
    try {
        YAML::Load(kBroken);
        return {false, "the broken text was read"};
    } catch (const YAML::ParserException& e) {
        if (e.mark.line != 2) return {false, "fault reported at line " + std::to_string(e.mark.line + 1) + ": " + e.what()};
        return {true, e.what()};
    }
}
