// The sampling thread of `serve`: the only one that touches the link. Every
// interval (start to start) one sampling pass, then each channel's set
// temperature and output enable, all on one ExchangeSeries; the firmware
// version first after the port was opened, and again each pass while it is
// not known. The sampler itself never writes to the controller; a client's
// write is carried out as given and audited. Each reading goes
// into the snapshot the moment its exchange ends.
#pragma once

#include <functional>
#include <string>

#include "bench_snapshot.h"
#include "exchange_queue.h"
#include "port_session.h"
#include "write_audit.h"

struct SamplerSettings {
    std::string port;
    double intervalSeconds = 1.0;
    // Called on the sampling thread at the end of every pass, with the
    // snapshot just published (for keeping a history of passes).
    std::function<void(const BenchSnapshot&)> passEnded;
    // Other programs' exchanges, carried out between the sampler's own: at
    // most one after each of its exchanges, and all that come while it
    // waits for the next pass. None when null.
    ExchangeQueue* clients = nullptr;
    // Each setting write among them, after its line in the journal.
    WriteAudit::Recorded clientWrote;
};

// Samples through session, opened by the caller, until a stop is asked for
// (see stop_request.h); returns after the exchange under way, with the port
// closed.
void RunSampler(const SamplerSettings& settings, PortSession& session, SnapshotStore& store);
