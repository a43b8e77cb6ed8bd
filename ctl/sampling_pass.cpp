#include "sampling_pass.h"

#include <cstdio>
#include <cstdlib>

#include "exchange.h"
#include "frame_codec.h"

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

PassReading RunSamplingPass(const std::function<bool()>& stopRequested)
{
    PassReading pass;
    for (const Quantity& quantity : kPassOrder) {
        for (int ch = 0; ch < kChannelCount; ++ch) {
            char body[16];
            std::snprintf(body, sizeof body, "%s%08x", quantity.code, static_cast<unsigned>(ch));
            const int value = QueryController(body);
            ChannelReading& reading = pass.channels[ch];
            if (g_bCommError) {
                pass.failed.push_back(std::string(quantity.name) + " of channel " + std::to_string(ch + 1) + " ("
                                      + body + ")");
            } else {
                ++pass.answered;
                if (quantity.code == CMD_READ_TEMP)
                    reading.temperature = Rounded(value * TEMP_SCALE, "%.2f");
                else if (quantity.code == CMD_READ_POWER)
                    reading.power = Rounded(value * POWER_SCALE, "%.1f");
                else
                    reading.status = value;
            }
            if (stopRequested()) {
                pass.interrupted = true;
                return pass;
            }
        }
    }
    return pass;
}

void ReportFailedExchanges(const std::vector<std::string>& failed, const std::string& when)
{
    if (failed.empty())
        return;
    std::string list;
    for (const std::string& what : failed)
        list += (list.empty() ? "" : ", ") + what;
    std::fprintf(stderr, "korvanthine-ctl: %s%sno complete reply to: %s\n", when.c_str(), when.empty() ? "" : ": ",
                 list.c_str());
}
