// serve's write envelope: the one gate every setting write passes before it
// reaches the controller, whoever asked for it (a local program's write
// frame, POST /settings, a program). A write outside the lab's limits, or
// one no controller can carry out, never reaches the line: the writer is
// told why, the refusal is counted (korvanthine_settings_refused_total)
// and logged, a few lines per writer and then a count.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "bench_snapshot.h"
#include "exchange_queue.h"
#include "refusal_log.h"
#include "write_envelope.h"

class WriteGate {
public:
    WriteGate(SnapshotStore& store, RefusalLog& log);

    // The limits from the web configuration, at start and at each reload.
    void SetLimits(const WriteLimits& limits);
    WriteLimits Limits() const;

    // The exchange queue's gate (on the line thread): why request's frame,
    // with the line's channel selected (0 ... 3, -1 unknown), must not
    // reach the line; "" when it may.
    std::string CheckFrame(const ExchangeRequest& request, int selected);

    // A change whose channel (1 ... 4) and values are known before anything
    // is queued (the web side's, a program's): its first refusal, already
    // counted and logged; nothing when every value may be written.
    std::optional<WriteRefusal> CheckChange(int channel, std::optional<int> setTenths, std::optional<int> outputEnable,
                                            const std::string& who, const std::string& writer);

private:
    void Refused(const WriteRefusal& refusal, const std::string& who, const std::string& writer,
                 const std::string& detail);

    SnapshotStore& store_;
    RefusalLog& log_;
    mutable std::mutex mutex_;
    std::shared_ptr<const WriteLimits> limits_;
};
