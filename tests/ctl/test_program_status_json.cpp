#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "program_status_json.h"
#include "serve_routes.h"

namespace {

ChannelProgramStatus ProgramRun(int channel, const std::string& state)
{
    ChannelProgramStatus run;
    run.channel = channel;
    run.id = "r-" + std::to_string(channel);
    run.program = "anneal-ch" + std::to_string(channel);
    run.state = state;
    run.segment = 1;
    run.setpointCelsius = 45.25; // a half: rounded up, not to even
    run.elapsedSeconds = 312;
    run.remainingSeconds = 1500;
    run.startedBy = "alice from 192.0.2.7";
    return run;
}

TEST(ProgramsJson, OneDocumentForEveryRunWhateverItsNames)
{
    ChannelProgramStatus aborted = ProgramRun(3, "aborted");
    aborted.setpointCelsius.reset();
    aborted.remainingSeconds.reset();
    aborted.reason = "sensor_broken";
    aborted.reasonText = "channel 3's sensor is broken";
    ChannelProgramStatus hostile = ProgramRun(4, "held");
    hostile.program = "a\"b\\c\n</script>\xff";
    hostile.startedBy = "eve\x01";
    const struct {
        const char* name;
        ProgramsView view;
        const char* json;
    } cases[] = {
        {"none", ProgramsView{}, R"({"channels":[]})"},
        {"running",
         ProgramsView{{ProgramRun(2, "running")}, {}},
         R"({"channels":[{"channel":2,"id":"r-2","program":"anneal-ch2","state":"running","segment":1,)"
         R"("setpoint_celsius":45.3,"elapsed_seconds":312.0,"remaining_seconds":1500.0,)"
         R"("started_by":"alice from 192.0.2.7"}]})"},
        {"aborted with its reason, nothing it lacks made up",
         ProgramsView{{aborted}, {}},
         R"({"channels":[{"channel":3,"id":"r-3","program":"anneal-ch3","state":"aborted","segment":1,)"
         R"("setpoint_celsius":null,"elapsed_seconds":312.0,"remaining_seconds":null,)"
         R"("started_by":"alice from 192.0.2.7","reason":"sensor_broken",)"
         R"("reason_text":"channel 3's sensor is broken"}]})"},
        {"a hostile name",
         ProgramsView{{hostile}, {}},
         "{\"channels\":[{\"channel\":4,\"id\":\"r-4\",\"program\":\"a\\\"b\\\\c\\n</script>\xEF\xBF\xBD\","
         "\"state\":\"held\",\"segment\":1,\"setpoint_celsius\":45.3,\"elapsed_seconds\":312.0,"
         "\"remaining_seconds\":1500.0,\"started_by\":\"eve\\u0001\"}]}"},
    };
    for (const auto& c : cases) {
        const std::string json = ProgramsJson(c.view);
        EXPECT_EQ(json, c.json) << c.name;
        EXPECT_TRUE(nlohmann::json::accept(json)) << c.name;
    }
}

TEST(ProgramsRoute, ReadsLikeTheBenchsStateAndCommandsNothingWithoutAWebConfiguration)
{
    SnapshotStore store;
    TrendRing trend(8);
    ServeContext context{store, trend, 1.0, 1, nullptr, nullptr};
    const auto route = [&context](const std::string& method, const std::string& target) {
        HttpRequest request;
        request.method = method;
        request.target = target;
        request.headers = {{"host", "127.0.0.1"}};
        return RouteRequest(request, context);
    };
    HttpReply reply = route("GET", "/programs");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.contentType, "application/json");
    EXPECT_EQ(reply.body, "{\"channels\":[]}\n"); // a serve that runs none
    context.programs = [] { return ProgramsView{{ProgramRun(2, "running")}, {}}; };
    EXPECT_EQ(nlohmann::json::parse(route("GET", "/programs?x=1").body)["channels"][0]["program"], "anneal-ch2");
    EXPECT_EQ(route("POST", "/programs").status, 403);
    EXPECT_EQ(route("POST", "/programs/r-2/hold").status, 403);
    EXPECT_EQ(route("GET", "/programs/r-2").status, 404);
    EXPECT_EQ(route("DELETE", "/programs").status, 405);
}

} // namespace
