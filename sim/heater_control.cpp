#include "heater_control.h"

#include <algorithm>

double HeaterControlStep(double errorDegrees, double seconds, double* integral)
{
    const double proportional = kHeaterGainPerDegree * errorDegrees;
    const double wanted = proportional + *integral;
    const bool pushedUpAgainstFull = wanted >= 1.0 && errorDegrees > 0.0;
    const bool pushedDownAgainstOff = wanted <= 0.0 && errorDegrees < 0.0;
    if (!pushedUpAgainstFull && !pushedDownAgainstOff) {
        const double step = kHeaterGainPerDegree * errorDegrees * seconds / kIntegralSeconds;
        *integral = std::clamp(*integral + step, 0.0, 1.0);
    }
    return std::clamp(proportional + *integral, 0.0, 1.0);
}
