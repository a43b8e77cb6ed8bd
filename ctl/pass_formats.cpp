#include "pass_formats.h"

#include <cstdio>

#include <nlohmann/json.hpp>

namespace {

// Members in the order a reader expects them, not sorted.
using json = nlohmann::ordered_json;

struct Flag {
    int bit;
    const char* label; // the panel's caption
    const char* key;   // CSV column and JSON member
};

const Flag kFlags[] = {
    {STATUS_SENSOR, "Sensor", "sensor"},
    {STATUS_OVERTEMP, "Overtemp", "overtemp"},
    {STATUS_EXT_HEAT_ENABLE, "Ext. heat enable", "ext_heat_enable"},
};

std::string Fixed(const std::optional<double>& value, const char* format, const char* missing)
{
    if (!value)
        return missing;
    char text[64];
    std::snprintf(text, sizeof text, format, *value);
    return text;
}

std::string CsvFlag(const ChannelReading& reading, const Flag& flag)
{
    if (!reading.status)
        return "";
    return (*reading.status & flag.bit) != 0 ? "1" : "0";
}

// temperature, power and the three flags, comma-separated
std::string CsvFields(const ChannelReading& reading)
{
    std::string fields = Fixed(reading.temperature, "%.2f", "") + "," + Fixed(reading.power, "%.1f", "");
    for (const Flag& flag : kFlags)
        fields += "," + CsvFlag(reading, flag);
    return fields;
}

json ChannelJson(const ChannelReading& reading, int channel)
{
    json object;
    object["channel"] = channel;
    object["temperature_c"] = reading.temperature ? json(*reading.temperature) : json(nullptr);
    object["power_pct"] = reading.power ? json(*reading.power) : json(nullptr);
    for (const Flag& flag : kFlags)
        object[flag.key] = reading.status ? json((*reading.status & flag.bit) != 0) : json(nullptr);
    return object;
}

json ChannelsJson(const PassReading& pass)
{
    json channels = json::array();
    for (int ch = 0; ch < kChannelCount; ++ch)
        channels.push_back(ChannelJson(pass.channels[ch], ch + 1));
    return channels;
}

} // namespace

std::string ReadTable(const PassReading& pass)
{
    std::string table = "Channel  Temp °C  Power %  Sensor  Overtemp  Ext. heat enable\n";
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const ChannelReading& reading = pass.channels[ch];
        const char* flags[3];
        for (int i = 0; i < 3; ++i)
            flags[i] = !reading.status ? "--" : (*reading.status & kFlags[i].bit) != 0 ? "on" : "off";
        char row[160];
        std::snprintf(row, sizeof row, "%-7d  %7s  %7s  %-6s  %-8s  %s\n", ch + 1,
                      Fixed(reading.temperature, "%6.2f", "--").c_str(), Fixed(reading.power, "%6.1f", "--").c_str(),
                      flags[0], flags[1], flags[2]);
        table += row;
    }
    return table;
}

std::string ReadCsv(const PassReading& pass)
{
    std::string csv = "channel,temperature_c,power_pct";
    for (const Flag& flag : kFlags)
        csv += std::string(",") + flag.key;
    csv += "\n";
    for (int ch = 0; ch < kChannelCount; ++ch)
        csv += std::to_string(ch + 1) + "," + CsvFields(pass.channels[ch]) + "\n";
    return csv;
}

std::string ReadJson(const PassReading& pass, const std::string& port, const std::string& time)
{
    const json document = {{"port", port}, {"time", time}, {"channels", ChannelsJson(pass)}};
    return document.dump(2) + "\n";
}

std::string WatchCsvHeader()
{
    std::string header = "time";
    for (int ch = 1; ch <= kChannelCount; ++ch) {
        const std::string n = std::to_string(ch);
        header += ",temperature" + n + "_c,power" + n + "_pct";
        for (const Flag& flag : kFlags)
            header += std::string(",") + flag.key + n;
    }
    return header + "\n";
}

std::string WatchCsvRow(const PassReading& pass, const std::string& time)
{
    std::string row = time;
    for (const ChannelReading& reading : pass.channels)
        row += "," + CsvFields(reading);
    return row + "\n";
}

std::string WatchJsonLine(const PassReading& pass, const std::string& time)
{
    const json line = {{"time", time}, {"channels", ChannelsJson(pass)}};
    return line.dump() + "\n";
}
