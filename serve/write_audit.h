// The record of every setting a client's exchange writes through serve:
// one line on standard error (when, who, channel, what) and the count in
// korvanthine_settings_written_total.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "exchange_queue.h"
#include "snapshot_writer.h"

// One setting write a client's exchange carried out, for whoever keeps a
// record of them beyond the journal (the web side's "Changes").
struct ClientSettingWrite {
    std::string who;
    int channel = -1; // 0 ... 3 as last selected; -1 unknown
    bool setTemperature = false; // else output enable
    std::int32_t value = 0;
    bool answered = false;
    std::uint64_t session = 0; // the writer's in the exchange queue
};

class WriteAudit {
public:
    using Recorded = std::function<void(const ClientSettingWrite&)>;

    explicit WriteAudit(SnapshotWriter& writer, Recorded recorded = nullptr)
        : writer_(writer), recorded_(std::move(recorded))
    {
    }

    // After each exchange carried out for a client (the line thread's).
    void CarriedOut(const ExchangeRequest& request, const ExchangeResult& result);

private:
    SnapshotWriter& writer_;
    Recorded recorded_;
};
