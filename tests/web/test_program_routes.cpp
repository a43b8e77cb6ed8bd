#include <filesystem>
#include <system_error>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "program_endpoint.h"
#include "program_engine.h"
#include "test_hashes.h"
#include "web_routes.h"

namespace {

// The web side with alice an operator and bob a viewer (both with password
// "pw"), serve's runner played by the test with a run of anneal-ch2 on
// channel 2, and a line that records what would reach it.
struct WebBench {
    explicit WebBench(const std::string& configPath)
    {
        std::string error;
        if (!config.Load(configPath, &error))
            throw std::runtime_error(error);
        ChannelProgramStatus run;
        run.channel = 2;
        run.id = "r-7";
        run.program = "anneal-ch2";
        run.state = "running";
        ProgramControl control;
        control.start = [this](const std::string& text, const std::string& source, const std::string& who) {
            started.push_back(source + "|" + who + "|" + text);
            return startAnswer;
        };
        control.command = [this](OperatorCommand command, int channel, const std::string& id, const std::string&) {
            commands.push_back(std::to_string(static_cast<int>(command)) + "|" + std::to_string(channel) + "|" + id);
            return ProgramCommandAnswer{200, id, {}};
        };
        control.channelLocked = [](int channel) { return channel == 2; };
        control.view = [run] { return ProgramsView{{run}, {}}; };
        programs.Use(control);
        settings.LockWith([this](int channel) { return programs.WhyLocked(channel); });
    }

    // The answer as the server would send it, its deferred work done.
    HttpReply Route(const HttpRequest& request)
    {
        HttpReply reply =
            RouteWithWebSide(request, side, [](const HttpRequest&) { return PlainReply(200, "read-only routes"); });
        for (int i = 0; reply.deferred && i < 3; ++i)
            reply = reply.deferred();
        return reply;
    }

    nlohmann::json Trail() const { return nlohmann::json::parse(audit.RecentJson()); }

    WebConfigFile config;
    Authenticator auth;
    AuditTrail audit;
    std::vector<std::string> frames; // what reached the line
    SettingsEndpoint settings{[this](const std::string&) -> FrameExchange {
                                  return [this](const std::string& frame) {
                                      frames.push_back(frame);
                                      return RawReply{};
                                  };
                              },
                              audit, [](int) { return std::optional<ChannelSettings>(ChannelSettings{200, 0}); },
                              [] { return 1.0; }};
    ProgramEndpoint programs{audit, [] { return 1.0; }};
    WebSide side{config, auth, audit, settings, programs};
    ProgramCommandAnswer startAnswer{201, "r-8", {}};
    std::vector<std::string> started;
    std::vector<std::string> commands;
};

class ProgramRoutes : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/korvanthine-programs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        const std::string hash = MakeBcryptHash("pw");
        std::ofstream(dir_ + "/web.yml") << "basic_auth_users:\n  alice: " << hash << "\n  bob: " << hash
                                         << "\nkorvanthine:\n  operators: [alice]\n";
    }
    void TearDown() override { std::error_code ignored; std::filesystem::remove_all(dir_, ignored); }

    std::unique_ptr<WebBench> Bench() const { return std::make_unique<WebBench>(dir_ + "/web.yml"); }

    std::string dir_;
};

HttpRequest Request(const std::string& method, const std::string& target, const std::string& user,
                    const std::string& body = "", const std::string& type = "application/json")
{
    HttpRequest request;
    request.method = method;
    request.target = target;
    request.body = body;
    request.peer = "192.0.2.7";
    request.tls = true;
    request.headers = {{"host", "bench.example:27531"}, {"content-type", type}};
    if (!user.empty()) // user:pw
        request.headers.emplace_back("authorization", user == "alice" ? "Basic YWxpY2U6cHc=" : "Basic Ym9iOnB3");
    return request;
}

const char kYaml[] = "name: anneal-ch2\nchannels: [2]\n";

TEST_F(ProgramRoutes, CommandsPassTheChecksOfASettingsWriteAndReachTheRunnerOnlyFromAnOperator)
{
    HttpRequest foreign = Request("POST", "/programs", "alice", kYaml, "application/yaml");
    foreign.headers.emplace_back("origin", "https://elsewhere.example");
    HttpRequest ownPage = Request("POST", "/programs/r-7/abort", "alice");
    ownPage.headers.emplace_back("origin", "https://bench.example:27531");
    HttpRequest plain = Request("POST", "/programs", "alice", kYaml, "application/yaml");
    plain.tls = false;
    struct Case {
        std::string name;
        HttpRequest request;
        int status;
        std::vector<std::string> started;
        std::vector<std::string> commands;
        std::string outcome; // the trail's newest; "" for an empty trail
    } cases[] = {
        {"an operator's start", Request("POST", "/programs?file=anneal-ch2.yml", "alice", kYaml, "application/yaml"),
         201, {std::string("anneal-ch2.yml|alice from 192.0.2.7|") + kYaml}, {}, "started"},
        {"a start in JSON, its name not a file's", Request("POST", "/programs?file=../x", "alice", "{}"), 201,
         {"body|alice from 192.0.2.7|{}"}, {}, "started"},
        {"a viewer's start", Request("POST", "/programs", "bob", kYaml, "application/yaml"), 403, {}, {}, "forbidden"},
        {"a viewer's hold", Request("POST", "/programs/r-7/hold", "bob"), 403, {}, {}, "forbidden"},
        {"the page's own abort", ownPage, 200, {}, {"3|0|r-7"}, "done"},
        {"another site's page", foreign, 403, {}, {}, ""},
        {"no TLS", plain, 403, {}, {}, ""},
        {"a form's body", Request("POST", "/programs", "alice", "name=x", "application/x-www-form-urlencoded"), 415,
         {}, {}, ""},
        {"a hold as plain text", Request("POST", "/programs/r-7/hold", "alice", "", "text/plain"), 415, {}, {}, ""},
        {"a file past 64 KiB",
         Request("POST", "/programs", "alice", std::string(kMaxProgramBody + 1, '#'), "application/yaml"), 413, {},
         {}, "too_large"},
        {"no user", Request("POST", "/programs", "", kYaml, "application/yaml"), 401, {}, {}, ""},
        {"no such command", Request("POST", "/programs/r-7/pause", "alice"), 404, {}, {}, ""},
        {"a command by GET", Request("GET", "/programs/r-7/resume", "alice"), 405, {}, {}, ""},
        {"the status is the read-only routes'", Request("GET", "/programs", "bob"), 200, {}, {}, ""},
    };
    for (const Case& c : cases) {
        const std::unique_ptr<WebBench> bench = Bench();
        const HttpReply reply = bench->Route(c.request);
        EXPECT_EQ(reply.status, c.status) << c.name << ": " << reply.body;
        EXPECT_EQ(bench->started, c.started) << c.name;
        EXPECT_EQ(bench->commands, c.commands) << c.name;
        const nlohmann::json trail = bench->Trail();
        if (c.outcome.empty()) {
            EXPECT_TRUE(trail.empty()) << c.name << ": " << trail.dump();
        } else if (!trail.empty()) {
            EXPECT_EQ(trail[0]["outcome"], c.outcome) << c.name;
            EXPECT_EQ(trail[0]["client"], "192.0.2.7") << c.name;
        } else {
            ADD_FAILURE() << c.name << ": nothing in the trail";
        }
    }
}

// The runner's answer reaches the client whole: its status, its errors,
// the run's id; and the trail names the run and its channel.
TEST_F(ProgramRoutes, TheRunnersAnswerIsPassedThrough)
{
    const std::unique_ptr<WebBench> bench = Bench();
    bench->startAnswer = {400, "", {"anneal.yml:7: a ramp needs a rate", "anneal.yml:9: \"soak\" has no time"}};
    HttpReply reply = bench->Route(Request("POST", "/programs?file=anneal.yml", "alice", kYaml, "application/yaml"));
    EXPECT_EQ(reply.status, 400);
    EXPECT_EQ(nlohmann::json::parse(reply.body)["errors"],
              nlohmann::json({"anneal.yml:7: a ramp needs a rate", "anneal.yml:9: \"soak\" has no time"}));
    EXPECT_EQ(bench->Trail()[0]["outcome"], "rejected");

    bench->startAnswer = {201, "r-7", {}};
    reply = bench->Route(Request("POST", "/programs", "alice", kYaml, "application/yaml"));
    EXPECT_EQ(reply.status, 201);
    EXPECT_EQ(reply.body, "{\"id\":\"r-7\"}\n");
    EXPECT_EQ(bench->Trail()[0]["channel"], 2);
    EXPECT_EQ(bench->Trail()[0]["action"], "start anneal-ch2 from body (run r-7)");

    bench->startAnswer = {409, "", {}};
    reply = bench->Route(Request("POST", "/programs", "alice", kYaml, "application/yaml"));
    EXPECT_EQ(reply.status, 409);
    EXPECT_FALSE(nlohmann::json::parse(reply.body)["error"].get<std::string>().empty()) << reply.body;
}

// A channel a program drives is not written from the network until the
// program is held: 409 naming it, nothing on the line, the refusal in the
// trail. Another channel is written as ever.
TEST_F(ProgramRoutes, ASettingsWriteToAProgramsChannelIsRefusedBeforeTheLine)
{
    const std::unique_ptr<WebBench> bench = Bench();
    HttpReply reply = bench->Route(Request("POST", "/settings", "alice", R"({"channel":2,"set_temperature":"30"})"));
    EXPECT_EQ(reply.status, 409);
    EXPECT_EQ(nlohmann::json::parse(reply.body)["error"], "channel 2 runs program anneal-ch2: hold it first");
    EXPECT_TRUE(bench->frames.empty());
    EXPECT_EQ(bench->Trail()[0]["outcome"], "refused");
    EXPECT_EQ(bench->Trail()[0]["written"]["set_temperature"], "30.0");

    reply = bench->Route(Request("POST", "/settings", "alice", R"({"channel":3,"set_temperature":"30"})"));
    EXPECT_FALSE(bench->frames.empty()) << reply.status << " " << reply.body;
}

} // namespace
