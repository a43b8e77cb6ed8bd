#include "bench_page.h"

#include <chrono>
#include <cstring>

#include "bench_state_json.h"
#include "page_assets.h"

namespace {

constexpr char kStatePath[] = "/state.json";

double NowUnixSeconds()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

PageResponse StateResponse(const std::string& query, const PageSources& sources)
{
    const std::optional<std::uint64_t> after = AfterParameter(query);
    if (!after)
        return {400, "text/plain; charset=utf-8", "after= takes a sequence number, e.g. /state.json?after=0\n", true};
    StateContext context;
    context.after = *after;
    context.intervalSeconds = sources.intervalSeconds;
    context.instance = sources.instance;
    // The trend first: an entry is appended after its pass published, so the
    // snapshot read next is never older than the newest entry sent.
    const std::vector<TrendEntry> entries = sources.trend.After(*after);
    const BenchSnapshot snapshot = sources.snapshots.Latest();
    context.nowUnixSeconds = NowUnixSeconds();
    return {200, "application/json", BenchStateJson(snapshot, entries, context), true};
}

} // namespace

std::optional<std::uint64_t> AfterParameter(const std::string& query)
{
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string::npos)
            end = query.size();
        const std::string pair = query.substr(start, end - start);
        if (pair.rfind("after=", 0) == 0) {
            const std::string digits = pair.substr(6);
            if (digits.empty() || digits.size() > 19 || digits.find_first_not_of("0123456789") != std::string::npos)
                return std::nullopt;
            return std::stoull(digits);
        }
        start = end + 1;
    }
    return 0;
}

std::optional<PageResponse> BenchPageResponse(const std::string& target, const PageSources& sources)
{
    const std::size_t question = target.find('?');
    const std::string path = target.substr(0, question);
    const std::string query = question == std::string::npos ? "" : target.substr(question + 1);
    if (path == kStatePath)
        return StateResponse(query, sources);
    for (std::size_t i = 0; i < kPageAssetCount; ++i) {
        const PageAsset& asset = kPageAssets[i];
        if (path == asset.path)
            return PageResponse{200, asset.contentType,
                                std::string(reinterpret_cast<const char*>(asset.data), asset.size), false};
    }
    return std::nullopt;
}
