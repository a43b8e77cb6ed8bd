// The bench page's data: the trend ring's sequence numbers across its
// wrap, the page's JSON texts with what is missing, and its query.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "bench_page.h"
#include "bench_state_json.h"
#include "trend_ring.h"

namespace {

BenchSnapshot PassWithTemperature(int hundredths)
{
    BenchSnapshot pass;
    for (ChannelSnapshot& channel : pass.channels) {
        channel.rawTemperature = hundredths;
        channel.status = STATUS_SENSOR;
    }
    return pass;
}

TEST(TrendRing, GivesWhatCameAfterASequenceNumberAcrossTheWrap)
{
    TrendRing ring(3);
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(ring.Append(PassWithTemperature(i), i), static_cast<std::uint64_t>(i));
    struct Case {
        std::uint64_t after;
        std::vector<std::uint64_t> sequences;
    } cases[] = {
        {0, {3, 4, 5}}, // a new page: all that is kept
        {1, {3, 4, 5}}, // a page further behind than the ring
        {3, {4, 5}},
        {5, {}},
        {9, {}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint64_t> got;
        for (const TrendEntry& entry : ring.After(c.after)) {
            got.push_back(entry.sequence);
            EXPECT_EQ(*entry.channels[0].rawTemperature, static_cast<int>(entry.sequence));
        }
        EXPECT_EQ(got, c.sequences) << "after " << c.after;
    }
}

TEST(TrendRing, HoldsAnHourAtEveryIntervalWithinBounds)
{
    const std::pair<double, std::size_t> cases[] = {{1, 3600}, {2, 3600}, {0.5, 7200}, {0.1, 14400}, {0, 14400}};
    for (const auto& [interval, capacity] : cases)
        EXPECT_EQ(TrendCapacityFor(interval), capacity) << interval;
}

TEST(BenchStateJson, ShowsThePanelsTextsAndNullForWhatIsMissing)
{
    BenchSnapshot snapshot;
    snapshot.port = "COM1";
    snapshot.portOpen = true;
    snapshot.up = true;
    snapshot.lastPassEndUnixSeconds = 1000.0;
    snapshot.lastPassEndSteadySeconds = 50.0;
    snapshot.lastPassDurationSeconds = 0.05;
    snapshot.channels[0] = {2534, 511, STATUS_SENSOR | STATUS_EXT_HEAT_ENABLE, 255, 1};
    snapshot.channels[1] = {-150, 255, STATUS_SENSOR, -55, 2};
    snapshot.channels[2] = {99999, 0, STATUS_EXT_HEAT_ENABLE, 250, 0}; // broken sensor
    snapshot.channels[3].rawTemperature = 99999; // its status did not come back: maybe broken too

    TrendEntry entry;
    entry.sequence = 7;
    entry.unixSeconds = 999.5;
    entry.channels[0] = TrendPointOf(snapshot.channels[0]);
    StateContext context;
    context.nowSteadySeconds = 51.0;
    const auto state = nlohmann::json::parse(BenchStateJson(snapshot, {entry}, context));

    const auto& channels = state["channels"];
    EXPECT_EQ(channels[0]["temperature"], " 25.34");
    EXPECT_EQ(channels[0]["power"], " 100.0");
    EXPECT_EQ(channels[0]["set_temperature"], "  25.5");
    EXPECT_EQ(channels[0]["output_enable"], "ENABLE");
    EXPECT_EQ(channels[0]["ext_heat_enable"], true);
    EXPECT_EQ(channels[1]["temperature"], " -1.50");
    EXPECT_EQ(channels[1]["power"], "  49.9");
    EXPECT_EQ(channels[1]["set_temperature"], "  -5.5");
    EXPECT_EQ(channels[1]["output_enable"], ""); // no entry of the list
    EXPECT_TRUE(channels[2]["temperature"].is_null());
    EXPECT_EQ(channels[2]["sensor"], false);
    for (const char* key : {"temperature", "power", "set_temperature", "output_enable", "sensor", "overtemp"})
        EXPECT_TRUE(channels[3][key].is_null()) << key;
    EXPECT_FALSE(TrendPointOf(snapshot.channels[2]).rawTemperature);
    EXPECT_FALSE(TrendPointOf(snapshot.channels[3]).rawTemperature);

    EXPECT_EQ(state["trend"]["last"], 7);
    EXPECT_EQ(state["trend"]["entries"][0],
              nlohmann::json::parse("[7, 999500, 25.34, 25.5, 100.0, null, null, null, null, null, null,"
                                    " null, null, null]"));
    EXPECT_TRUE(state["firmware_version"].is_null());
    EXPECT_EQ(state["answering"], true);
}

TEST(BenchStateJson, NotAnsweringOnceThePassDueHasOverrun)
{
    BenchSnapshot snapshot;
    snapshot.portOpen = true;
    snapshot.up = true;
    // Judged on the monotonic clock alone: the wall clock may have been set back or forth.
    snapshot.lastPassEndUnixSeconds = 1e9;
    snapshot.lastPassEndSteadySeconds = 100.0;
    snapshot.lastPassDurationSeconds = 0.1;
    struct Case {
        double now;
        bool up;
        bool portOpen;
        bool answering;
    } cases[] = {
        {100.5, true, true, true},
        {101.3, true, true, true},   // the next pass is due to end at 101.1
        {101.5, true, true, false},  // it has not: a silent line
        {100.5, false, true, false}, // the latest pass was incomplete
        {100.5, true, false, false},
    };
    for (const Case& c : cases) {
        snapshot.up = c.up;
        snapshot.portOpen = c.portOpen;
        EXPECT_EQ(ControllerAnswering(snapshot, c.now, 1.0), c.answering) << c.now;
    }
}

TEST(BenchPage, TakesOnlyADecimalSequenceNumber)
{
    const std::pair<const char*, std::optional<std::uint64_t>> cases[] = {
        {"", 0}, {"after=17", 17}, {"x=1&after=2", 2}, {"after=", std::nullopt},
        {"after=-1", std::nullopt}, {"after=1e3", std::nullopt}, {"after=99999999999999999999", std::nullopt},
    };
    for (const auto& [query, after] : cases)
        EXPECT_EQ(AfterParameter(query), after) << query;
}

// A lab's PCs all have a COM1: the tab names the machine too, and the
// page's script leaves the title as serve rendered it.
TEST(BenchPage, TitleNamesTheMachineBesideThePort)
{
    SnapshotStore store;
    BenchSnapshot snapshot;
    snapshot.port = "COM1";
    store.Publish(snapshot);
    const TrendRing trend(2);
    const std::pair<std::string, std::string> cases[] = {
        {"bench-07", "<title>KORVANTHINE bench COM1 on bench-07</title>"},
        {"", "<title>KORVANTHINE bench COM1</title>"}, // no name: no dangling "on"
    };
    for (const auto& [machine, title] : cases) {
        const ServeContext context{store, trend, 1.0, 1, nullptr, {}, machine};
        const HttpReply page = BenchPageReply("/", false, context);
        ASSERT_EQ(page.status, 200);
        EXPECT_NE(page.body.find(title), std::string::npos) << machine << "\n" << page.body.substr(0, 300);
    }
}

} // namespace
