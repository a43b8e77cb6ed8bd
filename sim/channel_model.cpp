#include "channel_model.h"

#include <algorithm>
#include <cmath>

#include "heater_control.h"

namespace {

// The room warms and cools by 0.3 degrees over twenty minutes.
constexpr double kAmbientSwingHundredths = 30.0;
constexpr double kAmbientPeriodSeconds = 1200.0;
constexpr double kPi = 3.14159265358979323846;

// Well below the plant's and the loop's time constants.
constexpr double kMaxStepSeconds = 0.05;
// Longer spells are settled long before their end.
constexpr double kMaxAdvanceSeconds = 3600.0;

} // namespace

ChannelModel::ChannelModel(std::uint32_t noiseSeed)
    : noise_(noiseSeed)
{
    // Channel 1 regulating, the others idle: a fresh panel shows channel 1
    // climbing to its set point, and a channel enabled later climbs too.
    channels_[0].setpoint = 300;
    channels_[0].enable = 1;
    channels_[0].status = kStatusSensor | kStatusExtHeatEnable;
}

double ChannelModel::Ambient() const
{
    return kAmbientHundredths + kAmbientSwingHundredths * std::sin(2.0 * kPi * elapsed_ / kAmbientPeriodSeconds);
}

void ChannelModel::Advance(double seconds)
{
    if (frozen_ || !(seconds > 0.0))
        return;
    const double capped = std::min(seconds, kMaxAdvanceSeconds);
    const int steps = static_cast<int>(std::ceil(capped / kMaxStepSeconds));
    const double dt = capped / steps;
    for (int s = 0; s < steps; ++s) {
        const double ambient = Ambient();
        for (ChannelState& channel : channels_)
            Step(channel, dt, ambient);
        elapsed_ += dt;
    }
}

void ChannelModel::Step(ChannelState& channel, double seconds, double ambient)
{
    const double target = channel.setpoint * 10.0; // tenths to hundredths
    double fraction = 0.0;
    if (channel.OutputOn() && !channel.sensorBroken)
        fraction = HeaterControlStep((target - channel.temperature) / 100.0, seconds, &channel.integral);
    else
        channel.integral = 0.0; // switched on again, the loop starts afresh
    channel.power = static_cast<std::int32_t>(std::lround(fraction * kFullPower));
    const double heldAt = ambient + kFullPowerRiseHundredths * fraction;
    channel.temperature += (heldAt - channel.temperature) * seconds / kPlantTimeConstantSeconds;

    channel.status = 0;
    if (!channel.sensorBroken) {
        channel.status |= kStatusSensor;
        if (channel.temperature > target + kOvertempMarginHundredths)
            channel.status |= kStatusOvertemp;
    }
    if (channel.OutputOn())
        channel.status |= kStatusExtHeatEnable;
}

std::int32_t ChannelModel::ReportedTemperature(int index)
{
    const ChannelState& channel = Channel(index);
    if (channel.sensorBroken)
        return kSensorBreakHundredths;
    double t = channel.temperature;
    if (!frozen_)
        t += noise_.Next();
    if (!(t > -2.0e9 && t < 2.0e9))
        return 0;
    return static_cast<std::int32_t>(std::lround(t));
}

void ChannelModel::BreakSensor(int index)
{
    ChannelState& channel = Channel(index);
    channel.sensorBroken = true;
    channel.power = 0;
    channel.status &= ~(kStatusSensor | kStatusOvertemp);
}

void ChannelModel::RepairSensor(int index)
{
    ChannelState& channel = Channel(index);
    channel.sensorBroken = false;
    channel.status |= kStatusSensor;
}
