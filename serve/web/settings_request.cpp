#include "settings_request.h"

#include <set>
#include <vector>

#include <nlohmann/json.hpp>

#include "set_temperature_text.h"

namespace {

// nlohmann keeps the last of a key given twice; a proxy or a log reader may
// take the first. Such a body is refused, so that what is written is
// what everyone reading the body sees.
nlohmann::json ParsedOnce(std::string_view body, std::string* twice)
{
    std::vector<std::set<std::string>> objects;
    const auto keysOnce = [&objects, twice](int, nlohmann::json::parse_event_t event, nlohmann::json& parsed) {
        if (event == nlohmann::json::parse_event_t::object_start) {
            objects.emplace_back();
        } else if (event == nlohmann::json::parse_event_t::object_end) {
            objects.pop_back();
        } else if (event == nlohmann::json::parse_event_t::key && !objects.empty()) {
            const std::string& key = parsed.get_ref<const std::string&>();
            if (!objects.back().insert(key).second && twice->empty())
                *twice = key.substr(0, 40);
        }
        return true;
    };
    return nlohmann::json::parse(body, keysOnce, false);
}

} // namespace

bool ParseSettingsRequest(std::string_view body, SettingsChange* change, std::string* problem)
{
    if (body.size() > kMaxSettingsBody) {
        *problem = "the body is longer than " + std::to_string(kMaxSettingsBody) + " bytes";
        return false;
    }
    std::string twice;
    const nlohmann::json json = ParsedOnce(body, &twice);
    if (json.is_discarded() || !json.is_object()) {
        *problem = "the body is not a JSON object";
        return false;
    }
    if (!twice.empty()) {
        *problem = twice + " is given twice";
        return false;
    }
    SettingsChange parsed;
    bool hasChannel = false;
    for (const auto& [key, value] : json.items()) {
        if (key == "channel") {
            if (!value.is_number_integer() || value.get<long long>() < 1 || value.get<long long>() > 4) {
                *problem = "channel is not a whole number from 1 to 4";
                return false;
            }
            parsed.channel = static_cast<int>(value.get<long long>());
            hasChannel = true;
        } else if (key == "set_temperature") {
            int tenths = 0;
            if (!value.is_string()) {
                *problem = "set_temperature is not a text such as \"25.5\"";
                return false;
            }
            if (!SetTemperatureTenths(value.get<std::string>(), &tenths, problem))
                return false;
            parsed.setTenths = tenths;
        } else if (key == "output_enable") {
            if (value != "ENABLE" && value != "DISABLE") {
                *problem = "output_enable is neither \"ENABLE\" nor \"DISABLE\"";
                return false;
            }
            parsed.outputEnable = value == "ENABLE" ? 1 : 0;
        } else {
            *problem = key.substr(0, 40) + " is not one of channel, set_temperature, output_enable";
            return false;
        }
    }
    if (!hasChannel) {
        *problem = "channel is missing";
        return false;
    }
    if (!parsed.setTenths && !parsed.outputEnable) {
        *problem = "give set_temperature, output_enable or both";
        return false;
    }
    *change = parsed;
    return true;
}

