// serve: the sampling thread (this one), the HTTP server's thread and the
// local endpoint's thread. The HTTP side meets the sampler only in the
// snapshot store and the page's trend ring; the endpoint only in the queue
// of clients' exchanges.
#include <chrono>
#include <cstdio>

#include "allowed_hosts.h"
#include "ctl_commands.h"
#include "exchange_queue.h"
#include "exit_status.h"
#include "http_server.h"
#include "local_endpoint.h"
#include "port_session.h"
#include "program_requests.h"
#include "program_runner.h"
#include "serve_platform.h"
#include "serve_routes.h"
#include "serve_sampler.h"
#include "shared_line.h"
#include "state_folder.h"
#include "trend_ring.h"
#include "write_gate.h"
#ifdef KORVANTHINE_TLS
#include "program_endpoint.h"
#include "web_service.h"
#endif

int RunServe(const CtlRequest& request)
{
    // serve owns its line: it opens the device itself, never another serve's endpoint.
    UseSharedLines(false);
    SnapshotStore store;
    // Other programs' exchanges go through the line thread's queue, and so
    // do the web side's writes. A web configuration that will not do stops
    // serve before the port is touched.
    ExchangeQueue clients;
    // Every write through serve passes one envelope, whoever asked for it.
    RefusalLog refusals;
    WriteGate gate(store, refusals);
    clients.SetGate([&gate](const ExchangeRequest& exchange, int selected) { return gate.CheckFrame(exchange, selected); });
#ifdef KORVANTHINE_TLS
    std::unique_ptr<WebService> web;
    if (!request.webConfigFile.empty()) {
        web = std::make_unique<WebService>(clients, store, gate);
        std::string error;
        if (!web->Load(request.webConfigFile, &error)) {
            std::fprintf(stderr, "korvanthine-ctl: %s\n", error.c_str());
            return kExitUsage;
        }
    }
#else
    if (!request.webConfigFile.empty()) {
        std::fprintf(stderr, "korvanthine-ctl: --web.config.file needs TLS, which this build does not have (a "
                             "Windows build has it when made with scripts/win32-libs.sh's libraries)\n");
        return kExitUsage;
    }
#endif
    // Programs run on the line thread, their writes through the same queue
    // and gate; a run the journal has unfinished is taken up before the
    // first pass. A build that reads no program files still answers for
    // them, and its runner refuses every start saying why.
    const std::string stateFolder = StateFolder(request.stateDir, ServingAsService());
    if (stateFolder.empty())
        std::fprintf(stderr, "korvanthine-ctl: no state folder (%s): programs cannot be started\n",
                     StateFolderSources(ServingAsService()).c_str());
    ProgramRunner programs(clients, gate, ProgramRunsFolder(stateFolder, request.port));
#ifdef KORVANTHINE_TLS
    if (web)
        web->UsePrograms(ProgramControl{
            [&programs](const std::string& text, const std::string& source, const std::string& who) {
                return programs.Start(text, source, who);
            },
            [&programs](OperatorCommand command, int channel, const std::string& id, const std::string& who) {
                return programs.Command(command, channel, id, who);
            },
            [&programs](int channel) { return programs.ChannelLocked(channel); },
            [&programs] { return programs.View(); }});
#endif
    // Like every command, serve starts only with its port; one that goes
    // away later is reopened while the exporter goes on answering.
    PortSession session;
    if (!session.Open(request.port))
        return kExitPortNotOpened;

    BenchSnapshot initial;
    initial.port = request.port;
    store.Publish(initial);

    // Allocated once, here: the page's last hour never grows serve's memory.
    TrendRing trend(TrendCapacityFor(request.intervalSeconds));
    const auto started = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::system_clock::now().time_since_epoch());
    const AllowedHosts allowedHosts(request.listenHost, request.allowedHosts);
    ServeContext context{store, trend, request.intervalSeconds, static_cast<std::uint64_t>(started.count()),
                         &allowedHosts, {}, MachineName()};
    context.programs = [&programs] { return programs.View(); };
    programs.Recover();
    HttpLimits limits;
    std::string note;
    limits.connections = ConnectionCapWithin(limits.connections, &note);
    if (!note.empty())
        std::fprintf(stderr, "korvanthine-ctl: %s\n", note.c_str());
    HttpRoute route = [&context](const HttpRequest& httpRequest) { return RouteRequest(httpRequest, context); };
#ifdef KORVANTHINE_TLS
    // The Host is checked before a password is asked for or a setting
    // written, as it is for every other path.
    if (web)
        route = [&allowedHosts, withWeb = web->Route(std::move(route))](const HttpRequest& httpRequest) {
            if (std::optional<HttpReply> misdirected = MisdirectedHost(httpRequest, &allowedHosts))
                return *misdirected;
            return withWeb(httpRequest);
        };
#endif
    route = [withHost = std::move(route)](const HttpRequest& httpRequest) {
        if (std::optional<HttpReply> bad = BadHostHeader(httpRequest))
            return *bad;
        return withHost(httpRequest);
    };

    HttpServer server(limits, std::move(route));
#ifdef KORVANTHINE_TLS
    if (web && web->Tls())
        server.UseTls(web->TlsSource());
#endif
    std::string error;
    note.clear();
    if (!server.Listen(request.listenHost, request.listenPort, &error, &note)) {
        std::fprintf(stderr, "korvanthine-ctl: cannot listen on %s:%d: %s (another address or port: --listen "
                             "[HOST]:PORT)\n",
                     request.listenHost.empty() ? "*" : request.listenHost.c_str(), request.listenPort, error.c_str());
        return kExitFailure;
    }
    if (!note.empty())
        std::fprintf(stderr, "korvanthine-ctl: %s\n", note.c_str());
    std::string scheme = "http";
#ifdef KORVANTHINE_TLS
    if (web && web->Tls())
        scheme = "https";
    if (web)
        web->WatchForChanges();
#endif
    std::fprintf(stderr, "korvanthine-ctl: serving %s on %s://%s/metrics\n", request.port.c_str(), scheme.c_str(),
                 server.Where().c_str());
    server.Start();

    LocalEndpoint endpoint(clients, refusals);
    endpoint.SetProgramHandler([&programs](const std::string& text, const std::string& who) {
        return AnswerProgramRequest(programs, text, who);
    });
    store.SharedLineOffered(endpoint.Start(request.port));

    SamplerSettings settings;
    settings.clients = &clients;
    settings.clientWrote = [&](const ClientSettingWrite& write) {
#ifdef KORVANTHINE_TLS
        if (web)
            web->ClientWrote(write);
#endif
        programs.ClientWrote(write);
    };
    settings.port = request.port;
    settings.intervalSeconds = request.intervalSeconds;
    settings.passEnded = [&](const BenchSnapshot& pass) {
        trend.Append(pass, pass.lastPassEndUnixSeconds.value_or(0.0));
        programs.PassEnded(pass);
    };
    RunSampler(settings, session, store);
    // Clients still waiting get no reply, as from a device that went away.
    clients.Close();
    endpoint.Stop();
    // The port is closed by now; then the server goes.
    server.Stop();
    return kExitOk;
}
