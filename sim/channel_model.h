// The four channels of the simulated controller and their thermal behaviour.
#pragma once

#include <array>
#include <cstdint>

constexpr int kSimChannelCount = 4;
constexpr double kAmbientHundredths = 2200.0; // 22.00 degrees
constexpr std::int32_t kFullPower = 511;

// Status word bits as the controller reports them.
constexpr std::int32_t kStatusSensor = 1 << 0;
constexpr std::int32_t kStatusOvertemp = 1 << 1;
constexpr std::int32_t kStatusExtHeatEnable = 1 << 2;

struct ChannelState {
    double temperature = kAmbientHundredths; // hundredths of a degree
    std::int32_t setpoint = 250;             // tenths of a degree
    std::int32_t enable = 0;                 // as written; only 1 switches the output on
    std::int32_t power = 0;                  // 0 ... kFullPower while the model runs
    std::int32_t status = kStatusSensor;

    bool OutputOn() const { return enable == 1; }
};

// Temperatures move toward the set point while the output is on (power from
// the error plus what holding the set point costs) and drift to ambient while
// it is off. Power and status are derived on every step, so values set by
// hand stay exactly as set only while the model is frozen.
class ChannelModel {
public:
    ChannelModel();

    // Moves every channel on by the given wall-clock time; nothing moves while frozen.
    void Advance(double seconds);

    void SetFrozen(bool frozen) { frozen_ = frozen; }
    bool Frozen() const { return frozen_; }

    ChannelState& Channel(int index) { return channels_.at(static_cast<std::size_t>(index)); }
    const ChannelState& Channel(int index) const { return channels_.at(static_cast<std::size_t>(index)); }

    // The measured temperature as reported: whole hundredths.
    std::int32_t ReportedTemperature(int index) const;

private:
    void Step(ChannelState& channel, double seconds);

    std::array<ChannelState, kSimChannelCount> channels_;
    bool frozen_ = false;
};
