#include "channel_model.h"

#include <algorithm>
#include <cmath>

namespace {

// Heating at full power (hundredths per second), heat loss toward ambient
// (per second) and the proportional band of the power control (hundredths).
// With these a channel settles within a few seconds, which is what an
// operator watching the panel wants to see.
constexpr double kHeatRate = 200.0;
constexpr double kLossRate = 0.02;
constexpr double kProportionalBand = 500.0;
constexpr double kOvertempMargin = 500.0; // "well above" the set point
constexpr double kMaxStepSeconds = 0.05;

} // namespace

ChannelModel::ChannelModel()
{
    // Two channels regulating and two idle, so a fresh panel shows both kinds.
    const std::int32_t setpoints[kSimChannelCount] = {300, 450, 250, 600};
    const std::int32_t enables[kSimChannelCount] = {1, 1, 0, 0};
    for (int i = 0; i < kSimChannelCount; ++i) {
        channels_[static_cast<std::size_t>(i)].setpoint = setpoints[i];
        channels_[static_cast<std::size_t>(i)].enable = enables[i];
        channels_[static_cast<std::size_t>(i)].status = kStatusSensor | (enables[i] == 1 ? kStatusExtHeatEnable : 0);
    }
}

void ChannelModel::Advance(double seconds)
{
    if (frozen_ || !(seconds > 0.0))
        return;
    // Small steps keep the integration stable after a long idle spell.
    const double capped = std::min(seconds, 3600.0);
    const int steps = static_cast<int>(std::ceil(capped / kMaxStepSeconds));
    const double dt = capped / steps;
    for (int s = 0; s < steps; ++s)
        for (ChannelState& channel : channels_)
            Step(channel, dt);
}

void ChannelModel::Step(ChannelState& channel, double seconds)
{
    const double target = channel.setpoint * 10.0; // tenths to hundredths
    double fraction = 0.0;
    if (channel.OutputOn()) {
        // Feed-forward holds the set point against the loss; the error term pulls toward it.
        const double holding = kLossRate * (target - kAmbientHundredths) / kHeatRate;
        fraction = std::clamp(holding + (target - channel.temperature) / kProportionalBand, 0.0, 1.0);
    }
    channel.power = static_cast<std::int32_t>(std::lround(fraction * kFullPower));
    const double applied = static_cast<double>(channel.power) / kFullPower;
    channel.temperature += (kHeatRate * applied - kLossRate * (channel.temperature - kAmbientHundredths)) * seconds;

    channel.status = kStatusSensor;
    if (channel.temperature > target + kOvertempMargin)
        channel.status |= kStatusOvertemp;
    if (channel.OutputOn())
        channel.status |= kStatusExtHeatEnable;
}

std::int32_t ChannelModel::ReportedTemperature(int index) const
{
    const double t = Channel(index).temperature;
    if (!(t > -2.0e9 && t < 2.0e9))
        return 0;
    return static_cast<std::int32_t>(std::lround(t));
}
