#include "cli.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

#include <CLI/CLI.hpp>

#include "exit_status.h"
#include "listen_address.h"
#include "remote_set.h"
#include "set_temperature_text.h"

namespace {

// The longest interval between passes: a day.
constexpr double kMaxIntervalSeconds = 86400.0;

// A finite number of seconds from 0 to a day: no nan, no inf, no overflow.
const CLI::Validator kIntervalSeconds(
    [](std::string& text) -> std::string {
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0' || errno == ERANGE || !std::isfinite(value) || value < 0
            || value > kMaxIntervalSeconds)
            return "'" + text + "' is not a number of seconds from 0 to 86400 (a day)";
        return "";
    },
    "SECONDS 0 ... 86400");

// serve's: as above but more than 0, since it samples for as long as it runs.
const CLI::Validator kServeIntervalSeconds(
    [](std::string& text) -> std::string {
        std::string checked = text;
        const std::string error = kIntervalSeconds(checked);
        if (!error.empty() || std::strtod(text.c_str(), nullptr) > 0)
            return error;
        return "'" + text + "' is not a number of seconds above 0 and at most 86400 (a day)";
    },
    "SECONDS 0 ... 86400, not 0");

const CLI::Validator kPassCount(
    [](std::string& text) -> std::string {
        char* end = nullptr;
        errno = 0;
        const long long value = std::strtoll(text.c_str(), &end, 10);
        if (end == text.c_str() || *end != '\0' || errno == ERANGE || value < 1)
            return "'" + text + "' is not a count of passes from 1 to " + std::to_string(LLONG_MAX);
        return "";
    },
    "N 1 ...");

const CLI::Validator kChannelNumber(
    [](std::string& text) -> std::string {
        if (text.size() != 1 || text[0] < '1' || text[0] > '4')
            return "'" + text + "' is not a channel: 1, 2, 3 or 4";
        return "";
    },
    "1 ... 4");

// A user's name as the web configuration's YAML takes it as a plain key:
// no colon (the Basic authorization's separator), no blanks or control
// bytes, nothing YAML would read as syntax at its start.
const CLI::Validator kWebUserName(
    [](std::string& name) -> std::string {
        if (name.empty() || std::string("-?:,[]{}#&*!|>'\"%@`").find(name[0]) != std::string::npos)
            return "'" + name + "' cannot start a user's name";
        for (const char c : name)
            if (c == ':' || static_cast<unsigned char>(c) <= ' ' || c == '\x7f')
                return "a user's name holds no colon, blank or control character";
        return "";
    },
    "USER");

constexpr const char kPortHelp[] = "COM1 ... COM20, or a device path such as /dev/ttyUSB0";

// -p goes after the command or before it (`korvanthine-ctl -p COM3 version`);
// which of the two is checked once the command line is parsed.
CLI::App* PortCommand(CLI::App& app, const char* name, const char* description, CtlRequest* request)
{
    CLI::App* command = app.add_subcommand(name, description);
    command->add_option("-p,--port", request->port, kPortHelp);
    return command;
}

// The port from either place; a usage error when it is missing or given twice differently.
void ResolvePort(CLI::App* command, const std::string& portBeforeCommand, CtlRequest* request)
{
    if (command->get_name() == "ports") {
        if (!portBeforeCommand.empty())
            throw CLI::ValidationError("--port", "ports looks at every port; it takes no --port");
        return;
    }
    const bool after = !command->get_option("--port")->empty();
    if (!after && portBeforeCommand.empty())
        throw CLI::RequiredError("--port");
    if (after && !portBeforeCommand.empty() && request->port != portBeforeCommand)
        throw CLI::ValidationError("--port", "given twice, as " + portBeforeCommand + " and " + request->port);
    if (!after)
        request->port = portBeforeCommand;
}

void AddChannel(CLI::App* command, CtlRequest* request)
{
    command->add_option("-c,--channel", request->channel, "channel 1 ... 4")->required()->check(kChannelNumber);
}

// A command that may go through a bench's serve over the network instead
// of a port: its address and who asks.
void AddRemoteOptions(CLI::App* command, CtlRequest* request, const char* urlText, const char* userText)
{
    command->add_option("--url", request->url, urlText);
    command->add_option("--user", request->user, userText);
    command->add_option("--password-file", request->passwordFile,
                        "with --url: the password is this file's first line (else it is asked for, without echo)");
    command->add_option("--ca-file", request->caFile,
                        "with --url: the certificate authority that signed serve's certificate (else the system's)");
}

// A command given --url: no port beside it, an https address and a user.
void CheckRemoteOptions(bool portGiven, CtlRequest* request)
{
    if (portGiven)
        throw CLI::ValidationError("--url", "give --url or --port, not both");
    if (!ParseHttpsUrl(request->url, &request->urlHost, &request->urlPort))
        throw CLI::ValidationError("--url", "'" + request->url + "' is not https://HOST:PORT");
    if (request->user.empty())
        throw CLI::ValidationError("--user", "--url needs --user");
}

constexpr const char kServeDescription[] =
    "a Prometheus exporter: samples in the background every interval (the pass, then each channel's set "
    "temperature and output enable; nothing is written) and answers GET /metrics at once from the latest "
    "readings, GET / with the bench's page (its last hour as a trend); until interrupted (or stopped as a Windows service)";

} // namespace

int ParseCommandLine(int argc, char** argv, CtlRequest* request)
{
    CLI::App app{"The four-channel temperature controller from the command line: readings for logs, settings "
                 "for scripts. Exit status: 0 success, 1 output could not be written (standard output or the --output "
                 "file), 2 usage error, 3 port not opened, 4 a reply from the controller was missing, short or "
                 "corrupt, 5 a setting did not read back as written, 6 serve refused a write outside its limits. serve: 0 once stopped, 1 the listen address "
                 "could not be taken, 3 the port could not be opened at start.",
                 "korvanthine-ctl"};
    app.set_version_flag("--version", "1.0.0.1");
    app.require_subcommand(1);
    std::string portBeforeCommand;
    app.add_option("-p,--port", portBeforeCommand, std::string(kPortHelp) + " (for the command that follows)");

    app.add_subcommand("ports", "COM1 ... COM20: the device each maps to and whether it is free, shared "
                                "(korvanthine-ctl serve holds it and shares it), busy, no access, not serial or "
                                "absent (nothing is opened or sent)");
    PortCommand(app, "version", "the controller's firmware version", request);

    CLI::App* read = PortCommand(app, "read", "one sampling pass: temperature, power and flags per channel", request);
    request->format = "table";
    read->add_option("-f,--format", request->format, "table, csv or json")
        ->check(CLI::IsMember({"table", "csv", "json"}));

    CLI::App* watch = PortCommand(app, "watch", "a sampling pass every interval, one row each, until interrupted",
                                  request);
    std::string watchFormat = "csv";
    watch->add_option("-f,--format", watchFormat, "csv (one header line) or jsonl")
        ->check(CLI::IsMember({"csv", "jsonl"}));
    watch->add_option("-i,--interval", request->intervalSeconds, "seconds from the start of one pass to the next (0 to 86400)")
        ->check(kIntervalSeconds);
    watch->add_option("-n,--count", request->count, "stop after this many passes")->check(kPassCount);
    watch->add_option("-o,--output", request->outputFile,
                      "append the rows to this file, flushed row by row (- is standard output)")
        ->check([](const std::string& path) { return path.empty() ? std::string("an empty file name") : std::string(); });

    CLI::App* get = PortCommand(app, "get", "a channel's set temperature and output enable", request);
    AddChannel(get, request);

    CLI::App* set = PortCommand(app, "set", "writes channel select, set temperature and output enable, "
                                            "then reads the settings back", request);
    AddChannel(set, request);
    std::string temperature;
    std::string output;
    set->add_option("-t,--temp", temperature, "set temperature in °C, at most one decimal (e.g. 25.5)")
        ->allow_extra_args(false);
    set->add_option("--output", output, "enable or disable")->check(CLI::IsMember({"enable", "disable"}));
    AddRemoteOptions(set, request,
                     "https://HOST:PORT of a bench's serve: the same write through it, over TLS, instead of --port",
                     "with --url: a user of serve's web configuration who is an operator");

    CLI::App* hashPassword = app.add_subcommand(
        "hash-password", "prints USER's line for basic_auth_users in serve's web configuration (--web.config.file): "
                         "USER: and a bcrypt hash (cost 12) of a password asked for twice without echo, or read from "
                         "standard input's first line when that is not a terminal; the password is never shown. "
                         "Exit status 2 when the two differ or the password is empty or over 72 bytes");
    hashPassword->add_option("USER", request->user, "the user's name, as the web configuration will know it")
        ->required()
        ->check(kWebUserName);

    CLI::App* makeCertificate = app.add_subcommand(
        "make-certificate", "writes a self-signed certificate (EC P-256, valid 825 days) and its key for serve's "
                            "tls_server_config: the names in subjectAltName, the first also as CN; the key readable "
                            "by its owner only (on Windows, by whom the folder allows). Exit status 2 for a name "
                            "that is neither a DNS name nor an IP address, or when either file exists (nothing is "
                            "overwritten), 1 when a file cannot be written");
    makeCertificate->add_option("--name", request->certificateNames,
                                "a DNS name or IP address clients reach serve by; may be given again")
        ->required()
        ->allow_extra_args(false);
    makeCertificate->add_option("--cert", request->certificateFile, "the certificate's new PEM file")->required();
    makeCertificate->add_option("--key", request->keyFile, "the key's new PEM file")->required();

    CLI::App* serve = PortCommand(app, "serve", kServeDescription, request);
    serve->add_option("--listen", request->listen,
                      "HOST:PORT to answer HTTP on; HOST empty or * for all interfaces (default :"
                          + std::to_string(kDefaultServePort) + ")");
    serve->add_option("--web.allowed-host", request->allowedHosts,
                      "a name (or address) a request's Host may give besides this machine's name, its addresses, "
                      "localhost and the --listen address; may be given again; * allows any")
        ->allow_extra_args(false);
    serve->add_option("--web.config.file", request->webConfigFile,
                      "a web configuration as Prometheus' exporters take it: tls_server_config, basic_auth_users "
                      "(bcrypt), and korvanthine: {operators: [...]}, the users who may write settings (over TLS "
                      "only); read again when it changes");
    serve->add_option("-i,--interval", request->intervalSeconds,
                      "seconds from the start of one pass to the next (above 0, at most 86400; default 1)")
        ->check(kServeIntervalSeconds);
    serve->footer("HTTP on all interfaces, port " + std::to_string(kDefaultServePort)
                  + " unless --listen says otherwise (a port outside those Prometheus lists as exporters' "
                    "defaults). GET /metrics: korvanthine_up (absent until the first pass has ended), "
                    "korvanthine_latest_failure{kind} (silent or garbled), korvanthine_temperature_celsius, "
                    "korvanthine_output_power_ratio, korvanthine_sensor_ok, korvanthine_overtemp, "
                    "korvanthine_ext_heat_enabled, korvanthine_set_temperature_celsius, korvanthine_output_enabled "
                    "(each with channel=\"1\" ... \"4\"), korvanthine_firmware_version, "
                    "korvanthine_exchanges_total{result}, korvanthine_passes_total, "
                    "korvanthine_last_pass_timestamp_seconds, korvanthine_pass_duration_seconds, "
                    "korvanthine_port_open, korvanthine_shared_line_up (1 when other programs share the line through "
                    "serve, 0 when serve could not offer it), korvanthine_bench_info{port}. A reading whose latest exchange failed is "
                    "absent, never 0, and so is the temperature of a channel whose Sensor flag is off. A port that "
                    "goes away is reopened after a pass without any reply. A request whose Host names neither this "
                    "machine nor an allowed host is answered 421. Ends on Ctrl+C, SIGTERM, SIGHUP or the Windows "
                    "service manager's stop, after the exchange under way. With --web.config.file: every path needs "
                    "a user when users are configured; GET /settings says who is asking and lists the last changes; "
                    "POST /settings (JSON: channel, set_temperature, output_enable) writes as set does, for an "
                    "operator over TLS; every write is on standard error and counted in "
                    "korvanthine_settings_writes_total{user,outcome}. GET /programs gives each channel's program "
                    "as JSON (as program status --json); with --web.config.file, POST /programs (a program file, "
                    "YAML or JSON) starts one and POST /programs/ID/hold, /resume or /abort commands a run, for an "
                    "operator over TLS. Runs are journaled under --state.dir and taken up after a restart. "
                    "Exit status: 0 stopped, 1 the listen "
                    "address could not be taken, 2 usage error (or an unusable web configuration), 3 port not "
                    "opened at start.");

    serve->add_option("--state.dir", request->stateDir,
                      std::string("where serve journals its programs' runs, to take them up after a restart (default: ")
#ifdef _WIN32
                          + "%LOCALAPPDATA%\\korvanthine, or %ProgramData%\\korvanthine for the Windows service)");
#else
                          + "the service's StateDirectory, else $XDG_STATE_HOME/korvanthine, else "
                            "~/.local/state/korvanthine)");
#endif

    CLI::App* program = app.add_subcommand("program", "temperature programs (ramps, soaks, waits) that a bench's "
                                                      "serve runs unattended; see korvanthine-ctl program --help");
    program->require_subcommand(1);
    CLI::App* check = program->add_subcommand("check", "reads a program file and says how long it takes and how hot "
                                                       "it gets, or what is wrong with it (FILE:LINE: reason)");
    check->add_option("file", request->programFile, "the program's YAML file")->required();
    std::vector<CLI::App*> programCommands;
    const auto programCommand = [&](const char* name, const char* description) {
        CLI::App* command = PortCommand(*program, name, description, request);
        AddRemoteOptions(command, request,
                         "https://HOST:PORT of the bench's serve: through its web side, over TLS, instead of --port",
                         "with --url: a user of serve's web configuration");
        programCommands.push_back(command);
        return command;
    };
    CLI::App* start = programCommand("start", "starts a program file on the serve that holds the port (its "
                                              "channels must have no program that has not ended)");
    start->add_option("file", request->programFile, "the program's YAML file")->required();
    CLI::App* status = programCommand("status", "each channel's program: its state, segment, set point and time left");
    status->add_flag("--json", request->json, "as JSON");
    for (const char* name : {"hold", "resume", "abort"}) {
        CLI::App* command = programCommand(name, name == std::string("hold")     ? "holds a program: its clock stops, "
                                                                                   "its set points stay as they are"
                                                 : name == std::string("resume") ? "a held program goes on"
                                                                                 : "aborts a program: its channels' "
                                                                                   "outputs are switched off");
        command->add_option("-c,--channel", request->channel, "the program on this channel (default: every program)")
            ->check(kChannelNumber);
    }

    try {
        app.parse(argc, argv);
        if (program->parsed()) {
            CLI::App* action = program->get_subcommands().front();
            request->programAction = action->get_name();
            if (action == check) {
                if (!portBeforeCommand.empty())
                    throw CLI::ValidationError("--port", "program check reads only the file; it takes no --port");
            } else if (!request->url.empty()) {
                CheckRemoteOptions(!action->get_option("--port")->empty() || !portBeforeCommand.empty(), request);
            } else {
                if (!request->user.empty() || !request->passwordFile.empty() || !request->caFile.empty())
                    throw CLI::ValidationError("--user", "--user, --password-file and --ca-file go with --url");
                ResolvePort(action, portBeforeCommand, request);
            }
        } else if (set->parsed() && !request->url.empty()) {
            CheckRemoteOptions(!request->port.empty() || !portBeforeCommand.empty(), request);
        } else {
            if (set->parsed() && (!request->user.empty() || !request->passwordFile.empty() || !request->caFile.empty()))
                throw CLI::ValidationError("--user", "--user, --password-file and --ca-file go with --url");
            CLI::App* command = app.get_subcommands().front();
            if (command != hashPassword && command != makeCertificate)
                ResolvePort(command, portBeforeCommand, request);
            else if (!portBeforeCommand.empty())
                throw CLI::ValidationError("--port", command->get_name() + " touches no port; it takes no --port");
        }
        if (serve->parsed() && !ParseListenAddress(request->listen, &request->listenHost, &request->listenPort))
            throw CLI::ValidationError("--listen", "'" + request->listen
                                                       + "' is not HOST:PORT (an IP address or * and a port "
                                                         "0 ... 65535, e.g. 127.0.0.1:"
                                                       + std::to_string(kDefaultServePort) + " or [::1]:"
                                                       + std::to_string(kDefaultServePort) + ")");
        if (set->parsed()) {
            if (temperature.empty() && output.empty())
                throw CLI::ValidationError("set", "give --temp, --output or both");
            if (!set->get_option("--temp")->empty()) {
                int tenths = 0;
                std::string problem;
                if (!SetTemperatureTenths(temperature, &tenths, &problem))
                    throw CLI::ValidationError("--temp", problem);
                request->setTenths = tenths;
                request->setTemperatureText = temperature;
            }
            if (!output.empty())
                request->setOutputEnable = output == "enable" ? 1 : 0;
        }
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? kExitOk : kExitUsage;
    }

    request->command = app.get_subcommands().front()->get_name();
    if (watch->parsed())
        request->format = watchFormat;
    return -1;
}
