#include "sensor_noise.h"

double SensorNoise::Next()
{
    // Uniform in [-a, a] has the variance a*a/3, so three of them have a*a.
    double sum = 0.0;
    for (int i = 0; i < 3; ++i)
        sum += (static_cast<double>(random_()) / 4294967296.0 * 2.0 - 1.0) * kNoiseHundredths;
    return sum;
}
