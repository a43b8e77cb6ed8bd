// serve's web side put together (Linux): the configuration and its
// reloading, the users, the audit trail and the settings write, bound to
// the line thread's queue of exchanges and to the latest readings.
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
    // Looks for changes to the file and what it names, every second, until destroyed.
    void WatchForChanges();

private:
    const SnapshotStore& store_;
    WriteGate& gate_;
    WebConfigFile config_;
    Authenticator auth_;
    AuditTrail audit_;
    SettingsEndpoint settings_;
    WebSide side_;
    std::mutex mutex_;
    std::condition_variable stopping_;
    bool stop_ = false;
    std::thread watcher_;
};
