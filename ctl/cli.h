// The command line of korvanthine-ctl, parsed with CLI11. Everything is
// checked here, before any command touches the port.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct CtlRequest {
    std::string command; // ports, version, read, watch, get, set, serve
    std::string port;
    std::string format;  // read: table|csv|json; watch: csv|jsonl
    double intervalSeconds = 1.0;
    long long count = 0; // 0: until interrupted
    std::string outputFile;
    int channel = 0;     // 1 ... 4
    std::optional<int> setTenths;      // set --temp, in tenths
    std::optional<int> setOutputEnable; // set --output: 1 enable, 0 disable
    std::string listen;                 // serve --listen as given; "" for the default
    std::string listenHost;             // its address; "" for all interfaces
    int listenPort = 0;
    std::vector<std::string> allowedHosts; // serve --web.allowed-host, each time given
};

// Parses argv into *request. Returns -1 when a command is to run, else the
// exit status (0 after --help or --version, 2 for a usage error, with the
// message already written).
int ParseCommandLine(int argc, char** argv, CtlRequest* request);

// True when text is a plain decimal with at most one digit after the point:
// "25", "-3.5", "0.5".
bool IsPlainTenthsText(const std::string& text);
// True when that decimal's tenths fit the controller's signed 32-bit word.
bool IsSetTemperatureInRange(const std::string& text);
