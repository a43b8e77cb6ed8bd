#include "sampling_pass.h"

#include <cstdio>
#include <cstdlib>

namespace {

struct Quantity {
    const char* code;
    const char* name;
};

const Quantity kPassOrder[] = {
    {CMD_READ_TEMP, "temperature"},
    {CMD_READ_POWER, "power"},
    {CMD_READ_STATUS, "status"},
};

// The value as the command set displays it, so that no format shows more
// digits than the controller gives (2534 * 0.01 is not quite 25.34).
double Rounded(double value, const char* format)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return std::strtod(text, nullptr);
}

} // namespace

PassReading RunSamplingPass(ExchangeSeries& series, const PassObserver& afterExchange)
{
    PassReading pass;
    int done = 0;
    for (const Quantity& quantity : kPassOrder) {
        for (int ch = 0; ch < kChannelCount; ++ch) {
            char body[16];
            std::snprintf(body, sizeof body, "%s%08x", quantity.code, static_cast<unsigned>(ch));
            const Reply reply = series.Query(body);
            ChannelReading& reading = pass.channels[ch];
            if (!reply.Complete()) {
                pass.failed.push_back({std::string(quantity.name) + " of channel " + std::to_string(ch + 1) + " ("
                                           + body + ")",
                                       reply.kind});
            } else {
                ++pass.answered;
                if (quantity.code == CMD_READ_TEMP) {
                    reading.rawTemperature = reply.value;
                    reading.temperature = Rounded(reply.value * TEMP_SCALE, "%.2f");
                } else if (quantity.code == CMD_READ_POWER) {
                    reading.rawPower = reply.value;
                    reading.power = Rounded(reply.value * POWER_SCALE, "%.1f");
                } else {
                    reading.status = reply.value;
                }
            }
            if (afterExchange && afterExchange(pass, ++done)) {
                pass.interrupted = true;
                return pass;
            }
        }
    }
    return pass;
}
