// The command line of korvanthine-ctl, parsed with CLI11. Everything is
// checked here, before any command touches the port.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "set_temperature_text.h"

struct CtlRequest {
    std::string command; // ports, version, read, watch, get, set, serve, program, hash-password, make-certificate
    std::string port;
    std::string format;  // read: table|csv|json; watch: csv|jsonl
    double intervalSeconds = 1.0;
    long long count = 0; // 0: until interrupted
    std::string outputFile;
    int channel = 0;     // 1 ... 4
    std::optional<int> setTenths;      // set --temp, in tenths
    std::optional<int> setOutputEnable; // set --output: 1 enable, 0 disable
    std::optional<std::string> setTemperatureText; // set --temp as given
    std::string url;                    // set --url https://HOST:PORT: through a bench's serve
    std::string urlHost;
    int urlPort = 0;
    std::string user;                   // set --user; hash-password's USER
    std::string passwordFile;           // set --password-file
    std::string caFile;                 // set --ca-file
    std::string listen;                 // serve --listen as given; "" for the default
    std::string listenHost;             // its address; "" for all interfaces
    int listenPort = 0;
    std::vector<std::string> allowedHosts; // serve --web.allowed-host, each time given
    std::string webConfigFile;          // serve --web.config.file
    std::string stateDir;               // serve --state.dir
    std::string programAction;          // program: check, start, status, hold, resume, abort
    std::string programFile;            // program check / start: the file
    bool json = false;                  // program status --json
    std::vector<std::string> certificateNames; // make-certificate --name, each time given
    std::string certificateFile;        // make-certificate --cert
    std::string keyFile;                // make-certificate --key
};

// Parses argv into *request. Returns -1 when a command is to run, else the
// exit status (0 after --help or --version, 2 for a usage error, with the
// message already written).
int ParseCommandLine(int argc, char** argv, CtlRequest* request);
