#include "web_service.h"

#include <chrono>

#include "program_endpoint.h"
#include "stop_request.h"
#include "unix_time.h"

namespace {

// How long a write from the network may wait for its turn on the line
// (other writers' holds, clients' exchanges); past it, 503 and the reason.
constexpr auto kWriteTurnWithin = std::chrono::seconds(10);

SettingsEndpoint::LineFor OnTheLine(ExchangeQueue& line)
{
    return [&line](const std::string& who) -> FrameExchange {
        // One write, one session: its select holds the line's writes for it.
        const std::uint64_t session = line.NewSession();
        const auto deadline = std::chrono::steady_clock::now() + kWriteTurnWithin;
        const std::string writer = who.substr(0, who.find(" from "));
        return [&line, who, writer, session, deadline](const std::string& frame) {
            const ExchangeResult result = line.Submit(ExchangeRequest{frame, who, session, writer, deadline}).get();
            RawReply raw;
            raw.bytes = result.reply;
            raw.waiting = result.waiting;
            raw.refused = result.refused;
            raw.late = result.expired;
            return raw;
        };
    };
}

std::optional<ChannelSettings> LastReading(const SnapshotStore& store, int channel)
{
    const ChannelSnapshot reading = store.Latest().channels[channel - 1];
    if (!reading.setTenths || !reading.outputEnable)
        return std::nullopt;
    return ChannelSettings{*reading.setTenths, *reading.outputEnable};
}

} // namespace

WebService::WebService(ExchangeQueue& line, const SnapshotStore& store, WriteGate& gate)
    : store_(store), gate_(gate),
      settings_(
          OnTheLine(line), audit_, [&store](int channel) { return LastReading(store, channel); },
          [] { return NowUnixSeconds(); },
          [&gate](const SettingsChange& change, const std::string& who, const std::string& writer) {
              return gate.CheckChange(change.channel, change.setTenths, change.outputEnable, who, writer);
          }),
      programs_(std::make_unique<ProgramEndpoint>(audit_, [] { return NowUnixSeconds(); })),
      side_{config_, auth_, audit_, settings_, *programs_}
{
    settings_.LockWith([this](int channel) { return programs_->WhyLocked(channel); });
}

void WebService::UsePrograms(ProgramControl control)
{
    programs_->Use(std::move(control));
}

WebService::~WebService()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    stopping_.notify_all();
    if (watcher_.joinable())
        watcher_.join();
}

bool WebService::Load(const std::string& path, std::string* error)
{
    if (!config_.Load(path, error))
        return false;
    gate_.SetLimits(config_.Current()->config.limits);
    return true;
}

bool WebService::Tls() const
{
    return config_.Current()->config.tls;
}

TlsContextSource WebService::TlsSource()
{
    return [this] { return config_.Current()->tls; };
}

HttpRoute WebService::Route(PlainRoute rest)
{
    return [this, rest = std::move(rest)](const HttpRequest& request) { return RouteWithWebSide(request, side_, rest); };
}

void WebService::ClientWrote(const ClientSettingWrite& write)
{
    // The web side's own writes are in the trail already, whole.
    if (write.who.rfind(kWebWriterPrefix, 0) == 0)
        return;
    AuditEntry entry;
    entry.unixSeconds = NowUnixSeconds();
    entry.user = "local";
    entry.client = write.who;
    entry.outcome = write.answered ? "answered" : "no_reply";
    if (write.channel >= 0) {
        entry.channel = write.channel + 1;
        entry.before = LastReading(store_, entry.channel);
        if (entry.before) {
            entry.wanted = entry.before;
            (write.setTemperature ? entry.wanted->setTenths : entry.wanted->outputEnable) = write.value;
        }
    }
    audit_.KeepSetting(entry, write.setTemperature, write.value);
}

void WebService::WatchForChanges()
{
    watcher_ = StartThreadWithoutStopSignals([this] {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; })) {
            lock.unlock();
            // New limits hold from the next write on.
            if (config_.Refresh())
                gate_.SetLimits(config_.Current()->config.limits);
            lock.lock();
        }
    });
}
