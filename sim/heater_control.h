// The controller's loop for one channel: proportional-integral control of
// the heater from the temperature error.
#pragma once

// Power per degree of error (0.3: full power 3.3 degrees below the set point)
// and the integral time. Tuned for the plant in channel_model.cpp so that a
// step settles without overshoot beyond a few hundredths.
constexpr double kHeaterGainPerDegree = 0.3;
constexpr double kIntegralSeconds = 10.0;

// One control step. errorDegrees: set point minus measured temperature.
// Returns the heater output as a fraction of full power, 0 ... 1. The
// integral holds the power that keeps the set point (which removes any
// offset); it moves only while the output is not driven into a limit, so a
// long climb at full power does not wind it up into an overshoot.
double HeaterControlStep(double errorDegrees, double seconds, double* integral);
