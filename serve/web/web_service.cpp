#include "web_service.h"

#include <chrono>

#include "stop_request.h"
#include "unix_time.h"

namespace {

SettingsEndpoint::LineFor OnTheLine(ExchangeQueue& line)
{
    return [&line](const std::string& who) -> FrameExchange {
        // One write, one session: its select holds the line's writes for it.
        const std::uint64_t session = line.NewSession();
        return [&line, who, session](const std::string& frame) {
            const ExchangeResult result = line.Submit(ExchangeRequest{frame, who, session}).get();
            return RawReply{result.reply, result.waiting};
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

WebService::WebService(ExchangeQueue& line, const SnapshotStore& store)
    : store_(store),
      settings_(
          OnTheLine(line), audit_, [&store](int channel) { return LastReading(store, channel); },
          [] { return NowUnixSeconds(); }),
      side_{config_, auth_, audit_, settings_}
{
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
    return config_.Load(path, error);
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
    audit_.Keep(entry);
}

void WebService::WatchForChanges()
{
    watcher_ = StartThreadWithoutStopSignals([this] {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_.wait_for(lock, std::chrono::seconds(1), [this] { return stop_; })) {
            lock.unlock();
            config_.Refresh();
            lock.lock();
        }
    });
}
