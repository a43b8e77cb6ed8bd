// The record of every setting a client's exchange writes through serve:
// one line on standard error (when, who, channel, what) and the count in
// korvanthine_settings_written_total.
#pragma once

#include "exchange_queue.h"
#include "snapshot_writer.h"

class WriteAudit {
public:
    explicit WriteAudit(SnapshotWriter& writer) : writer_(writer) {}

    // After each exchange carried out for a client (the line thread's).
    void CarriedOut(const ExchangeRequest& request, const ExchangeResult& result);

private:
    SnapshotWriter& writer_;
    // The channel the controller's setting writes act on: the last select
    // sent on this line; -1 until one was.
    int selected_ = -1;
};
