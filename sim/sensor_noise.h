// The measurement noise of the simulated sensors: seeded, so that a run can
// be repeated reading for reading.
#pragma once

#include <cstdint>
#include <random>

// Standard deviation of one reading, in hundredths of a degree; no reading
// is ever further off than kNoiseLimitHundredths.
constexpr double kNoiseHundredths = 2.0;
constexpr double kNoiseLimitHundredths = 3.0 * kNoiseHundredths;
constexpr std::uint32_t kDefaultNoiseSeed = 0x6e6f6973u;

class SensorNoise {
public:
    explicit SensorNoise(std::uint32_t seed) : random_(seed) {}

    // One sample in hundredths: the sum of three uniform draws, close to a
    // normal distribution but bounded. Built from the generator's raw output
    // alone, so the sequence is the same with every standard library.
    double Next();

private:
    std::mt19937 random_;
};
