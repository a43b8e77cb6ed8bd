#include "serve_sampler.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "checked_exchange.h"
#include "pass_pacer.h"
#include "pass_wait.h"
#include "port_session.h"
#include "sampling_pass.h"
#include "snapshot_writer.h"
#include "stop_request.h"
#include "timestamp.h"
#include "unix_time.h"
#include "write_audit.h"

namespace {

using Clock = PassPacer::Clock;

// What standard error says about the line: only when it changes, so that a
// bench unplugged for a night leaves one line, not one a second.
class LineReport {
public:
    void PassEnded(const std::vector<FailedExchange>& failed)
    {
        std::string text;
        for (const FailedExchange& f : failed)
            text += f.what + ReplyKindText(f.kind) + ";";
        if (text == last_)
            return;
        const std::string time = IsoTimestamp(std::chrono::system_clock::now());
        if (failed.empty())
            std::fprintf(stderr, "korvanthine-ctl: %s: every reply complete again\n", time.c_str());
        else
            ReportFailedExchanges(failed, time);
        last_ = text;
    }

private:
    std::string last_;
};

// Clients' exchanges one at a time, each audited, between the sampler's own.
class ClientTurns {
public:
    ClientTurns(ExchangeQueue* queue, SnapshotWriter& writer, WriteAudit::Recorded wrote)
        : queue_(queue), audit_(writer, std::move(wrote))
    {
    }

    // At most one client exchange: after each of the sampler's.
    void TakeOne()
    {
        if (queue_ != nullptr)
            queue_->RunOne(audited_);
    }

    // Until the next pass is due: clients' exchanges as they come. Gives
    // the pass's start; false when a stop was asked for meanwhile.
    bool WaitForPass(const PassPacer& pacer, Clock::time_point* start)
    {
        if (queue_ == nullptr)
            return ::WaitForPass(pacer, start);
        // A stop signal does not wake the queue's wait: it is looked at this often.
        constexpr auto kStopCheck = std::chrono::milliseconds(100);
        for (;;) {
            const Clock::time_point now = Clock::now();
            *start = pacer.NextStart(now);
            if (*start <= now || StopRequested())
                return !StopRequested();
            if (queue_->RunOne(audited_))
                continue;
            queue_->WaitUntil(std::min(*start, now + kStopCheck));
        }
    }

private:
    ExchangeQueue* queue_;
    WriteAudit audit_;
    const ExchangeQueue::Observer audited_ = [this](const ExchangeRequest& r, const ExchangeResult& x) {
        audit_.CarriedOut(r, x);
    };
};

const char* SettingName(ChannelSetting setting)
{
    return setting == ChannelSetting::SetTemperature ? "set temperature" : "output enable";
}

// Each channel's set temperature, then each one's output enable, on the
// pass's series; counted into *pass. False when a stop was asked for.
bool ReadChannelSettings(ExchangeSeries& series, SnapshotWriter& writer, ClientTurns& clients, PassReading* pass)
{
    for (ChannelSetting setting : {ChannelSetting::SetTemperature, ChannelSetting::OutputEnable}) {
        const char* code = setting == ChannelSetting::SetTemperature ? CMD_READ_SETPOINT : CMD_READ_OUTPUT_ENABLE;
        for (int ch = 0; ch < kChannelCount; ++ch) {
            char body[16];
            std::snprintf(body, sizeof body, "%s%08x", code, static_cast<unsigned>(ch));
            const Reply reply = series.Query(body);
            writer.Setting(ch, setting, reply);
            if (reply.Complete())
                ++pass->answered;
            else
                pass->failed.push_back(
                    {std::string(SettingName(setting)) + " of channel " + std::to_string(ch + 1) + " (" + body + ")",
                     reply.kind});
            if (StopRequested())
                return false;
            clients.TakeOne();
        }
    }
    return true;
}

} // namespace

void RunSampler(const SamplerSettings& settings, PortSession& session, SnapshotStore& store)
{
    SnapshotWriter writer(store, settings.port);
    LineReport report;
    ClientTurns clients(settings.clients, writer, settings.clientWrote);
    writer.PortOpened(session.IsOpen());
    bool versionKnown = false;
    struct CloseAtEnd {
        PortSession& session;
        ~CloseAtEnd() { session.Close(); }
    } closeAtEnd{session};

    PassPacer pacer(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(settings.intervalSeconds)));
    Clock::time_point start;
    while (clients.WaitForPass(pacer, &start)) {
        pacer.Started(start);
        ExchangeSeries series;
        std::vector<FailedExchange> failed;
        if (!versionKnown) {
            const Reply version = series.Query(CMD_VERSION);
            writer.Version(version);
            versionKnown = version.Complete();
            if (!versionKnown)
                failed.push_back({std::string("version (") + CMD_VERSION + ")", version.kind});
            if (StopRequested())
                return;
            clients.TakeOne();
        }

        const Clock::time_point passBegan = Clock::now();
        writer.PassStarted();
        PassReading pass = RunSamplingPass(series, [&writer, &clients](const PassReading& soFar, int exchangesDone) {
            writer.PassExchanges(soFar, exchangesDone);
            if (StopRequested())
                return true;
            clients.TakeOne();
            return false;
        });
        if (pass.interrupted)
            return;
        writer.PassExchanges(pass, kPassExchanges);
        if (!ReadChannelSettings(series, writer, clients, &pass))
            return;

        const double duration = std::chrono::duration<double>(Clock::now() - passBegan).count();
        writer.PassEnded(pass.failed.empty(), NowUnixSeconds(), duration);
        if (settings.passEnded)
            settings.passEnded(writer.Current());
        failed.insert(failed.end(), pass.failed.begin(), pass.failed.end());
        report.PassEnded(failed);

        // Not one reply: the device may have gone and come back (an adapter
        // pulled and plugged in again), which a fresh open picks up.
        if (pass.answered == 0) {
            writer.PortOpened(session.Reopen(IsoTimestamp(std::chrono::system_clock::now())));
            versionKnown = false;
        }
    }
}
