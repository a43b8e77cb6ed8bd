// The simulated controller's thermal model, driven by an explicit clock.
#include <gtest/gtest.h>

#include <set>

#include "channel_model.h"

namespace {

void RunFor(ChannelModel& model, double seconds)
{
    // Many small calls, as a sampling panel would make them.
    for (double t = 0; t < seconds; t += 0.5)
        model.Advance(0.5);
}

ChannelModel ModelWith(int channel, double temperature, std::int32_t setpoint, std::int32_t enable)
{
    ChannelModel model;
    ChannelState& state = model.Channel(channel);
    state.temperature = temperature;
    state.setpoint = setpoint;
    state.enable = enable;
    return model;
}

TEST(ChannelModel, EnabledChannelHeatsToItsSetPointAtFullPowerFirst)
{
    ChannelModel model = ModelWith(0, kAmbientHundredths, 500, 1);
    model.Advance(0.1);
    EXPECT_EQ(model.Channel(0).power, kFullPower); // far below: clamped at full
    EXPECT_EQ(model.Channel(0).status, kStatusSensor | kStatusExtHeatEnable);

    double previous = model.Channel(0).temperature;
    for (int second = 0; second < 40; ++second) {
        RunFor(model, 1.0);
        const double now = model.Channel(0).temperature;
        // Whole power steps make it dither by a fraction of a hundredth at the end.
        EXPECT_GE(now, previous - 1.0) << "at " << second << " s";
        EXPECT_LE(now, 5000.0 + 50.0) << "overshoot at " << second << " s";
        previous = now;
    }
    EXPECT_NEAR(model.ReportedTemperature(0), 5000, 20);
    // Holding the set point costs some power, never all of it.
    EXPECT_GT(model.Channel(0).power, 0);
    EXPECT_LT(model.Channel(0).power, kFullPower);
}

TEST(ChannelModel, DisabledChannelDriftsToAmbientWithoutPower)
{
    ChannelModel model = ModelWith(2, 6000.0, 600, 0);
    RunFor(model, 60.0);
    const double after = model.Channel(2).temperature;
    EXPECT_LT(after, 6000.0);
    EXPECT_GT(after, kAmbientHundredths);
    EXPECT_EQ(model.Channel(2).power, 0);
    EXPECT_EQ(model.Channel(2).status, kStatusSensor);
    RunFor(model, 1000.0);
    // The ambient drifts; the plant follows it a time constant behind.
    EXPECT_NEAR(model.Channel(2).temperature, model.Ambient(), 10.0);
}

TEST(ChannelModel, OvertempWhileWellAboveTheSetPoint)
{
    // Enabled but 20 degrees too hot: no power, the alarm bit on until it has cooled.
    ChannelModel model = ModelWith(1, 7000.0, 500, 1);
    model.Advance(0.1);
    EXPECT_EQ(model.Channel(1).power, 0);
    EXPECT_EQ(model.Channel(1).status, kStatusSensor | kStatusOvertemp | kStatusExtHeatEnable);
    RunFor(model, 600.0);
    EXPECT_EQ(model.Channel(1).status, kStatusSensor | kStatusExtHeatEnable);
}

TEST(ChannelModel, OnlyAnEnableOfOneSwitchesTheOutputOn)
{
    for (std::int32_t enable : {0, 2, -1}) {
        ChannelModel model = ModelWith(3, kAmbientHundredths, 800, enable);
        RunFor(model, 5.0);
        EXPECT_EQ(model.Channel(3).power, 0) << "enable " << enable;
        // Exactly as an idle channel that started alike.
        EXPECT_EQ(model.Channel(3).temperature, model.Channel(2).temperature) << "enable " << enable;
    }
}

TEST(ChannelModel, FrozenKeepsEveryValueExactlyAsSet)
{
    ChannelModel model = ModelWith(0, 2534.0, 300, 1);
    model.Channel(0).power = 1000;
    model.Channel(0).status = 8;
    model.SetFrozen(true);
    RunFor(model, 30.0);
    EXPECT_EQ(model.ReportedTemperature(0), 2534);
    EXPECT_EQ(model.Channel(0).power, 1000);
    EXPECT_EQ(model.Channel(0).status, 8);

    model.Channel(0).temperature = -150.0;
    EXPECT_EQ(model.ReportedTemperature(0), -150);
}

TEST(ChannelModel, LongIdleSpellsAndNonsenseTimesStayFinite)
{
    ChannelModel model = ModelWith(0, kAmbientHundredths, 400, 1);
    model.Advance(1e12);
    model.Advance(-5.0);
    model.Advance(0.0);
    EXPECT_NEAR(model.ReportedTemperature(0), 4000, 20);
}

TEST(ChannelModel, StartsAtAmbientWithOnlyChannel1RegulatingTo30)
{
    ChannelModel model;
    model.SetFrozen(true);
    for (int ch = 0; ch < kSimChannelCount; ++ch) {
        EXPECT_EQ(model.ReportedTemperature(ch), 2200) << ch;
        EXPECT_EQ(model.Channel(ch).enable, ch == 0 ? 1 : 0) << ch;
        EXPECT_EQ(model.Channel(ch).status, ch == 0 ? kStatusSensor | kStatusExtHeatEnable : kStatusSensor) << ch;
    }
    EXPECT_EQ(model.Channel(0).setpoint, 300);
}

class ChannelSettling : public ::testing::TestWithParam<std::int32_t> {};

TEST_P(ChannelSettling, HoldsTheSetPointWithinTheNoiseAndWithoutOffset)
{
    const std::int32_t setpoint = GetParam();
    const double target = setpoint * 10.0;
    ChannelModel model = ModelWith(1, kAmbientHundredths, setpoint, 1);
    for (int half = 0; half < 240; ++half) { // two minutes, the first one climbing
        model.Advance(0.5);
        ASSERT_EQ(model.Channel(1).status & kStatusOvertemp, 0) << "overshoot at " << half / 2.0 << " s";
    }
    double sum = 0.0;
    std::set<std::int32_t> seen;
    const int readings = 400;
    for (int i = 0; i < readings; ++i) {
        model.Advance(0.25);
        const std::int32_t reading = model.ReportedTemperature(1);
        ASSERT_NEAR(reading, target, kNoiseLimitHundredths + 1.0) << "reading " << i;
        sum += reading;
        seen.insert(reading);
    }
    EXPECT_NEAR(sum / readings, target, 1.0); // no offset: within a hundredth on average
    EXPECT_GE(seen.size(), 5u);               // and the noise is there
    EXPECT_GT(model.Channel(1).power, 0);
    EXPECT_LT(model.Channel(1).power, kFullPower);
}

INSTANTIATE_TEST_SUITE_P(SetPoints, ChannelSettling, ::testing::Values(300, 450, 800));

TEST(ChannelModel, ALoweredSetPointShowsOvertempWhileItCools)
{
    ChannelModel model = ModelWith(1, kAmbientHundredths, 450, 1);
    RunFor(model, 120.0);
    model.Channel(1).setpoint = 300;
    double overtempSeconds = 0.0;
    for (int half = 0; half < 240; ++half) {
        model.Advance(0.5);
        if (model.Channel(1).status & kStatusOvertemp) {
            overtempSeconds += 0.5;
            EXPECT_EQ(model.Channel(1).power, 0);
        }
    }
    // 45 to 32 degrees with the heater off takes about half a minute.
    EXPECT_GT(overtempSeconds, 20.0);
    EXPECT_LT(overtempSeconds, 45.0);
    EXPECT_NEAR(model.Channel(1).temperature, 3000.0, 5.0);
}

TEST(ChannelModel, ABrokenSensorReadsItsFixedValueWithTheHeaterOffUntilRepaired)
{
    ChannelModel model = ModelWith(2, kAmbientHundredths, 600, 1);
    RunFor(model, 10.0);
    const double warm = model.Channel(2).temperature;
    model.BreakSensor(2);
    for (int i = 0; i < 20; ++i) {
        model.Advance(0.5);
        EXPECT_EQ(model.ReportedTemperature(2), kSensorBreakHundredths);
        EXPECT_EQ(model.Channel(2).status, kStatusExtHeatEnable);
        EXPECT_EQ(model.Channel(2).power, 0);
    }
    EXPECT_LT(model.Channel(2).temperature, warm); // cooling, unseen
    model.RepairSensor(2);
    model.Advance(0.5);
    EXPECT_EQ(model.Channel(2).status, kStatusSensor | kStatusExtHeatEnable);
    EXPECT_EQ(model.Channel(2).power, kFullPower);
    EXPECT_NEAR(model.ReportedTemperature(2), model.Channel(2).temperature, kNoiseLimitHundredths + 0.5);
}

TEST(ChannelModel, TheSameSeedGivesTheSameReadings)
{
    ChannelModel a(7);
    ChannelModel b(7);
    ChannelModel c(8);
    bool differs = false;
    for (int i = 0; i < 50; ++i) {
        a.Advance(0.5);
        b.Advance(0.5);
        c.Advance(0.5);
        const std::int32_t reading = a.ReportedTemperature(0);
        EXPECT_EQ(reading, b.ReportedTemperature(0)) << i;
        differs = differs || reading != c.ReportedTemperature(0);
    }
    EXPECT_TRUE(differs);
}

} // namespace
