// The simulated controller's thermal model, driven by an explicit clock.
#include <gtest/gtest.h>

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
    EXPECT_NEAR(model.ReportedTemperature(2), 2200, 2);
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
        EXPECT_NEAR(model.Channel(3).temperature, kAmbientHundredths, 1e-9) << "enable " << enable;
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

} // namespace
