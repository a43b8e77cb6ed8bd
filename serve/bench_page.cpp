#include "bench_page.h"

#include <cstdint>

#include "bench_state_json.h"
#include "page_assets.h"
#include "unix_time.h"
#include "utf8_text.h"

namespace {

constexpr char kStatePath[] = "/state.json";
// Where the page's HTML names its bench, so that it does so before any script runs.
constexpr char kPortMark[] = "@PORT@";
// Where its title names the machine: a lab's many PCs all have a COM1, and
// their tabs must not read alike.
constexpr char kOnHostMark[] = "@ON_HOST@";

std::string HtmlEscaped(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

template <std::size_t N>
std::string Substituted(std::string html, const char (&mark)[N], const std::string& text)
{
    const std::string escaped = HtmlEscaped(ValidUtf8(text));
    for (std::size_t at = html.find(mark); at != std::string::npos; at = html.find(mark, at + escaped.size()))
        html.replace(at, N - 1, escaped);
    return html;
}

const PageAsset* FindAsset(const std::string& path)
{
    for (std::size_t i = 0; i < kPageAssetCount; ++i)
        if (path == kPageAssets[i].path)
            return &kPageAssets[i];
    return nullptr;
}

HttpReply Reply(int status, const std::string& contentType, std::string body)
{
    HttpReply reply;
    reply.status = status;
    reply.contentType = contentType;
    reply.body = std::move(body);
    return reply;
}

HttpReply StateReply(const std::string& query, bool headOnly, const ServeContext& context)
{
    const std::optional<std::uint64_t> after = AfterParameter(query);
    if (!after)
        return PlainReply(400, "after= takes a sequence number, e.g. /state.json?after=0");
    StateContext state;
    state.after = *after;
    state.intervalSeconds = context.intervalSeconds;
    state.instance = context.instance;
    // The trend first: an entry is appended after its pass published, so the
    // snapshot read next is never older than the newest entry sent. The rows
    // were rendered as their passes ended; here they are only copied, and
    // for HEAD only measured.
    std::string rows;
    std::size_t rowsLength = 0;
    const std::uint64_t last =
        headOnly ? context.trend.RowsLengthAfter(*after, &rowsLength) : context.trend.RowsAfter(*after, &rows);
    const BenchSnapshot snapshot = context.store.Latest();
    state.nowSteadySeconds = NowSteadySeconds();
    std::string head = BenchStateHead(snapshot, last, state);
    if (headOnly) {
        HttpReply reply = Reply(200, "application/json", "");
        reply.lengthWithoutBody = head.size() + rowsLength + sizeof kBenchStateTail - 1;
        return reply;
    }
    head.reserve(head.size() + rows.size() + sizeof kBenchStateTail);
    head += rows;
    head += kBenchStateTail;
    return Reply(200, "application/json", std::move(head));
}

} // namespace

// The one inline style let through is the chart library's, on the span it
// measures an em with ("margin: 0; padding: 0 0 0 1em; border: 0;"), by
// its hash; the legend that would write more is the page's own.
const char kPageContentSecurityPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; "
    "style-src-attr 'unsafe-hashes' 'sha256-MJyOH6fkfzWPCLv2CfAAYjOtxkqoLBYZsmiMyy1D4sc='; "
    "connect-src 'self'; img-src 'self' data:; form-action 'self'; base-uri 'none'; frame-ancestors 'none'";

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
            if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos)
                return std::nullopt;
            std::uint64_t value = 0;
            for (char digit : digits) {
                const std::uint64_t d = static_cast<std::uint64_t>(digit - '0');
                if (value > (UINT64_MAX - d) / 10)
                    return std::nullopt; // past 64 bits
                value = value * 10 + d;
            }
            return value;
        }
        start = end + 1;
    }
    return 0;
}

bool IsBenchPagePath(const std::string& path)
{
    return path == kStatePath || FindAsset(path) != nullptr;
}

HttpReply BenchPageReply(const std::string& target, bool headOnly, const ServeContext& context)
{
    const std::size_t question = target.find('?');
    const std::string path = target.substr(0, question);
    if (path == kStatePath)
        return StateReply(question == std::string::npos ? "" : target.substr(question + 1), headOnly, context);
    const PageAsset* asset = FindAsset(path);
    if (asset == nullptr)
        return PlainReply(404, "Not found.");
    std::string body(reinterpret_cast<const char*>(asset->data), asset->size);
    if (path == "/") {
        body = Substituted(std::move(body), kPortMark, context.store.Latest().port);
        body = Substituted(std::move(body), kOnHostMark, context.machine.empty() ? "" : " on " + context.machine);
    }
    HttpReply reply = Reply(200, asset->contentType, std::move(body));
    if (reply.contentType.rfind("text/html", 0) == 0) {
        reply.fields.emplace_back("X-Frame-Options", "DENY");
        reply.fields.emplace_back("Content-Security-Policy", kPageContentSecurityPolicy);
    }
    return reply;
}
