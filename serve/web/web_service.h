// serve's web side put together (Linux): the configuration and its
// reloading, the users, the audit trail, the settings write and the
// programs' commands, bound to the line thread's queue of exchanges, the
// latest readings and the program runner.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "audit_trail.h"
#include "authenticator.h"
#include "bench_snapshot.h"
#include "exchange_queue.h"
#include "http_server.h"
#include "settings_endpoint.h"
#include "web_config_file.h"
#include "web_routes.h"
#include "write_audit.h"
#include "write_gate.h"

class ProgramEndpoint;
struct ProgramControl; // program_endpoint.h

class WebService {
public:
    WebService(ExchangeQueue& line, const SnapshotStore& store, WriteGate& gate);
    ~WebService();
    WebService(const WebService&) = delete;
    WebService& operator=(const WebService&) = delete;

    // At start: false, with the reason naming the line, when the file will not do.
    bool Load(const std::string& path, std::string* error);
    bool Tls() const;
    // The context for each new connection: the latest configuration's.
    TlsContextSource TlsSource();
    HttpRoute Route(PlainRoute rest);
    // A local program's setting write through serve's endpoint (the line
    // thread's): into "Changes" and the count, as user "local".
    void ClientWrote(const ClientSettingWrite& write);
    // serve's program runner, before serving: POST /programs and the
    // commands go to it, and settings writes to a channel it drives are
    // refused. Without it, programs answer 503.
    void UsePrograms(ProgramControl control);
    // Looks for changes to the file and what it names, every second, until destroyed.
    void WatchForChanges();

private:
    const SnapshotStore& store_;
    WriteGate& gate_;
    WebConfigFile config_;
    Authenticator auth_;
    AuditTrail audit_;
    SettingsEndpoint settings_;
    std::unique_ptr<ProgramEndpoint> programs_;
    WebSide side_;
    std::mutex mutex_;
    std::condition_variable stopping_;
    bool stop_ = false;
    std::thread watcher_;
};
