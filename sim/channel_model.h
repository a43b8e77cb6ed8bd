// The four channels of the simulated controller and their thermal behaviour.
#pragma once

#include <array>
#include <cstdint>

#include "sensor_noise.h"

constexpr int kSimChannelCount = 4;
constexpr double kAmbientHundredths = 2200.0; // 22.00 degrees, the ambient at start
constexpr std::int32_t kFullPower = 511;

// Each channel is a first-order plant: full power would hold it
// kFullPowerRiseHundredths above ambient, and it moves toward where its
// power would hold it with this time constant.
constexpr double kPlantTimeConstantSeconds = 40.0;
constexpr double kFullPowerRiseHundredths = 8000.0;

// Overtemp: the reading this far above the set point (2 degrees).
constexpr double kOvertempMarginHundredths = 200.0;

// What a channel reads with its sensor broken: 999.99, out of any range the
// sensor can measure, the same on every reading.
constexpr std::int32_t kSensorBreakHundredths = 99999;

// Status word bits as the controller reports them.
constexpr std::int32_t kStatusSensor = 1 << 0;
constexpr std::int32_t kStatusOvertemp = 1 << 1;
constexpr std::int32_t kStatusExtHeatEnable = 1 << 2;

struct ChannelState {
    double temperature = kAmbientHundredths; // hundredths of a degree, as the plant is
    std::int32_t setpoint = 250;             // tenths of a degree
    std::int32_t enable = 0;                 // as written; only 1 switches the output on
    std::int32_t power = 0;                  // 0 ... kFullPower while the model runs
    std::int32_t status = kStatusSensor;
    double integral = 0.0;                   // the heater control's integral, 0 ... 1
    bool sensorBroken = false;

    bool OutputOn() const { return enable == 1; }
};

// The heater of an enabled channel is driven by its control loop toward the
// set point, within 0 ... full power; a disabled channel, or one whose sensor
// is broken, gets no power and drifts to the ambient, which itself drifts
// slowly. Power and status are derived on every step, so values set by hand
// stay exactly as set only while the model is frozen. Readings carry sensor
// noise while the model runs and none while it is frozen.
class ChannelModel {
public:
    explicit ChannelModel(std::uint32_t noiseSeed = kDefaultNoiseSeed);

    // Moves every channel on by the given time; nothing moves while frozen.
    void Advance(double seconds);

    void SetFrozen(bool frozen) { frozen_ = frozen; }
    bool Frozen() const { return frozen_; }

    ChannelState& Channel(int index) { return channels_.at(static_cast<std::size_t>(index)); }
    const ChannelState& Channel(int index) const { return channels_.at(static_cast<std::size_t>(index)); }

    // The ambient now, in hundredths.
    double Ambient() const;

    // One reading of the measured temperature: whole hundredths, with noise
    // while running, kSensorBreakHundredths while the sensor is broken.
    std::int32_t ReportedTemperature(int index);

    // A broken sensor reads kSensorBreakHundredths, clears the Sensor flag
    // and switches the heater off until it is repaired.
    void BreakSensor(int index);
    void RepairSensor(int index);

private:
    void Step(ChannelState& channel, double seconds, double ambient);

    std::array<ChannelState, kSimChannelCount> channels_;
    double elapsed_ = 0.0; // model seconds since start
    bool frozen_ = false;
    SensorNoise noise_;
};
