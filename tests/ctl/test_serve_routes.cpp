// serve's route layer against what a hostile client or an odd ports folder
// can give it: names that are not UTF-8 in every format serve writes, a Host
// of another site, a HEAD that must not cost a body, a route that throws.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include <nlohmann/json.hpp>

#include "allowed_hosts.h"
#include "bench_page.h"
#include "http_server.h"
#include "metric_table.h"
#include "program_status.h"
#include "serve_routes.h"
#include "utf8_text.h"

namespace {

TEST(ValidUtf8, ReplacesEveryByteThatIsNotPartOfAWellFormedSequence)
{
    const std::pair<std::string, std::string> cases[] = {
        {"COM1", "COM1"},
        {"b\xC3\xA9nch \xE2\x82\xAC \xF0\x9F\x94\xA5", "b\xC3\xA9nch \xE2\x82\xAC \xF0\x9F\x94\xA5"},
        {"bench\xE9", "bench\xEF\xBF\xBD"},                     // Latin-1
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},               // overlong '/'
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // a surrogate
        {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}, // past U+10FFFF
        {"\xE2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD"},               // cut short at the end
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(ValidUtf8(in), out) << in;
}

TEST(AllowedHosts, TakesTheMachinesNamesAndAddressesAndNoOtherSite)
{
    const AllowedHosts hosts("127.0.0.1", {"bench7.lab.example", "[fd00::7]"});
    const std::pair<std::string, bool> cases[] = {
        {"127.0.0.1:27531", true}, {"localhost:27531", true}, {"LOCALHOST.", true}, {"[::1]:27531", true},
        {"bench7.lab.example:27531", true}, {"[fd00::7]:1", true}, {MachineName(), true},
        {"attacker.example:27531", false}, {"127.0.0.1.attacker.example", false}, {"", false},
        {"localhost.attacker.example", false},
    };
    for (const auto& [host, allowed] : cases)
        EXPECT_EQ(hosts.Allows(host), allowed) << host;
    EXPECT_TRUE(AllowedHosts("", {"*"}).Allows("anything.example"));
}

class Routes : public ::testing::Test {
protected:
    Routes() : trend_(3600), context_{store_, trend_, 1.0, 1, &hosts_, {}}
    {
        BenchSnapshot snapshot;
        snapshot.port = "bench\xE9<b>";
        snapshot.portOpen = true;
        store_.Publish(snapshot);
        for (int i = 0; i < 50; ++i)
            trend_.Append(snapshot, 1000.0 + i);
    }

    HttpReply Route(const std::string& method, const std::string& target, const std::string& host = "127.0.0.1")
    {
        HttpRequest request;
        request.method = method;
        request.target = target;
        request.headers = {{"host", host}};
        return RouteRequest(request, context_);
    }

    SnapshotStore store_;
    TrendRing trend_;
    AllowedHosts hosts_{"", {}};
    ServeContext context_;
};

TEST_F(Routes, APortNameThatIsNotUtf8IsReplacedInJsonHtmlAndTheExposition)
{
    const HttpReply state = Route("GET", "/state.json?after=0");
    ASSERT_EQ(state.status, 200);
    const auto json = nlohmann::json::parse(state.body);
    EXPECT_EQ(json["port"], "bench\xEF\xBF\xBD<b>");
    EXPECT_EQ(json["trend"]["entries"].size(), 50u);
    const HttpReply page = Route("GET", "/");
    EXPECT_NE(page.body.find("bench\xEF\xBF\xBD&lt;b&gt;"), std::string::npos);
    const HttpReply metrics = Route("GET", "/metrics");
    EXPECT_EQ(ValidUtf8(metrics.body), metrics.body);
    EXPECT_NE(metrics.body.find("korvanthine_bench_info{port=\"bench\xEF\xBF\xBD<b>\"} 1"), std::string::npos);
    // The process's own rows come with the bench's.
    EXPECT_NE(metrics.body.find("\nprocess_cpu_seconds_total "), std::string::npos); // Linux and Windows give it
    EXPECT_NE(metrics.body.find("\nkorvanthine_build_info{version=\""), std::string::npos);
}

// The programs' families only from a serve that runs programs; one that
// runs them has its abort counters from the start, before any program.
TEST_F(Routes, MetricsHaveTheProgramsFamiliesOnlyWhenServeRunsPrograms)
{
    // The process's own families close every scrape, and their values move.
    const auto bench = [](const std::string& body) { return body.substr(0, body.find("# HELP korvanthine_build_info")); };
    const std::string plain = bench(Route("GET", "/metrics").body);
    EXPECT_EQ(plain.find("korvanthine_program_"), std::string::npos);

    ProgramsView view;
    context_.programs = [&view] { return view; };
    const std::string none = bench(Route("GET", "/metrics").body);
    EXPECT_EQ(none.substr(0, plain.size()), plain);
    EXPECT_NE(none.find("\nkorvanthine_program_aborts_total{channel=\"1\",reason=\"sensor_broken\"} 0\n"),
              std::string::npos);
    EXPECT_EQ(none.find("\nkorvanthine_program_state{"), std::string::npos);

    ChannelProgramStatus held;
    held.channel = 1;
    held.state = "held";
    view.channels = {held};
    const std::string one = Route("GET", "/metrics").body;
    EXPECT_NE(one.find("\nkorvanthine_program_state{channel=\"1\",state=\"held\"} 1\n"), std::string::npos);
}

TEST_F(Routes, HeadOfTheTrendBuildsNoBodyYetGivesItsLength)
{
    for (const char* target : {"/state.json?after=0", "/state.json?after=40", "/state.json?after=99"}) {
        const HttpReply get = Route("GET", target);
        const HttpReply head = Route("HEAD", target);
        EXPECT_TRUE(head.body.empty()) << target;
        ASSERT_TRUE(head.lengthWithoutBody) << target;
        EXPECT_EQ(*head.lengthWithoutBody, get.body.size()) << target;
    }
}

TEST_F(Routes, AForeignHostReadsNothingAndAnyCountOf64BitsIsASequenceNumber)
{
    EXPECT_EQ(Route("GET", "/state.json?after=0", "attacker.example:27531").status, 421);
    EXPECT_EQ(Route("GET", "/metrics", "attacker.example").status, 421);
    HttpRequest noHost;
    noHost.method = "GET";
    noHost.target = "/metrics";
    EXPECT_EQ(RouteRequest(noHost, context_).status, 200); // no browser sends none
    EXPECT_EQ(AfterParameter("after=18446744073709551615"), UINT64_MAX);
    EXPECT_EQ(AfterParameter("after=18446744073709551616"), std::nullopt);
    EXPECT_EQ(AfterParameter("after=00000000000000000000017"), 17u);
    EXPECT_EQ(Route("GET", "/state.json?after=18446744073709551615").status, 200);
}

TEST(BadHostHeader, AnHttp11RequestNeedsExactlyOneHost)
{
    const struct {
        unsigned version;
        std::vector<std::pair<std::string, std::string>> headers;
        int status; // 0: goes on to the routes
    } cases[] = {
        {11, {{"host", "127.0.0.1"}}, 0},
        {11, {{"host", ""}}, 0}, // empty, as for a target with no authority
        {10, {}, 0},             // HTTP/1.0 had no Host
        {11, {}, 400},
        {11, {{"accept", "*/*"}}, 400},
        {11, {{"host", "127.0.0.1"}, {"host", "attacker.example"}}, 400},
        {11, {{"host", "127.0.0.1"}, {"accept", "*/*"}, {"host", "127.0.0.1"}}, 400},
        {10, {{"host", "a"}, {"host", "b"}}, 400},
    };
    for (const auto& c : cases) {
        HttpRequest request;
        request.method = "GET";
        request.target = "/metrics";
        request.version = c.version;
        request.headers = c.headers;
        const std::optional<HttpReply> bad = BadHostHeader(request);
        EXPECT_EQ(bad ? bad->status : 0, c.status) << c.version << " with " << c.headers.size() << " headers";
    }
}

TEST_F(Routes, ThePageIsShownInNoFrameAndRunsOnlyItsOwnFiles)
{
    const HttpReply page = Route("GET", "/");
    ASSERT_EQ(page.status, 200);
    std::map<std::string, std::string> fields(page.fields.begin(), page.fields.end());
    EXPECT_EQ(fields["X-Frame-Options"], "DENY");
    const std::string policy = fields["Content-Security-Policy"];
    for (const char* directive : {"default-src 'none'", "script-src 'self'", "style-src 'self'", "frame-ancestors 'none'"})
        EXPECT_NE(policy.find(directive), std::string::npos) << directive << " in " << policy;
    EXPECT_EQ(policy.find("unsafe-inline"), std::string::npos) << policy;
    // What that policy would block: inline scripts, styles and handlers.
    for (const char* inline_ : {"<script>", "<style", " style=", " onclick=", " onload=", "javascript:"})
        EXPECT_EQ(page.body.find(inline_), std::string::npos) << inline_;
    // Every script and style sheet the page names is one serve has.
    for (const std::string mark : {"<script src=\"", "<link rel=\"stylesheet\" href=\""})
        for (std::size_t at = page.body.find(mark); at != std::string::npos; at = page.body.find(mark, at + 1)) {
            const std::size_t start = at + mark.size();
            const std::string path = page.body.substr(start, page.body.find('"', start) - start);
            EXPECT_EQ(Route("GET", path).status, 200) << path;
        }
    // The page's other files are not HTML, and need none of it.
    EXPECT_TRUE(Route("GET", "/bench_page.js").fields.empty());
}

TEST(RouteFailed, AnswersFiveHundredAndLogsEachFailureOnce)
{
    HttpRequest request;
    request.method = "GET";
    request.target = "/state.json?\x01";
    testing::internal::CaptureStderr();
    EXPECT_EQ(RouteFailed(request, "boom").status, 500);
    EXPECT_EQ(RouteFailed(request, "boom").status, 500);
    const std::string logged = testing::internal::GetCapturedStderr();
    EXPECT_EQ(logged.find("boom"), logged.rfind("boom")) << logged;
    EXPECT_NE(logged.find("/state.json?\\x01"), std::string::npos) << logged;
}

} // namespace
