#include "remote_set.h"

#include <cstdlib>

#include <nlohmann/json.hpp>

bool ParseHttpsUrl(const std::string& url, std::string* host, int* port)
{
    static const std::string kScheme = "https://";
    if (url.compare(0, kScheme.size(), kScheme) != 0)
        return false;
    std::string rest = url.substr(kScheme.size());
    if (!rest.empty() && rest.back() == '/')
        rest.pop_back();
    std::size_t colon;
    if (!rest.empty() && rest[0] == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':')
            return false;
        *host = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.find(':');
        if (colon == std::string::npos)
            return false;
        *host = rest.substr(0, colon);
        if (host->find_first_of("/@?#[]") != std::string::npos)
            return false;
    }
    const std::string digits = rest.substr(colon + 1);
    if (host->empty() || digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *port = std::atoi(digits.c_str());
    return *port >= 1 && *port <= 65535;
}

std::string SettingsRequestBody(const CtlRequest& request)
{
    nlohmann::json body = {{"channel", request.channel}};
    if (request.setTemperatureText)
        body["set_temperature"] = *request.setTemperatureText;
    if (request.setOutputEnable)
        body["output_enable"] = *request.setOutputEnable == 1 ? "ENABLE" : "DISABLE";
    return body.dump();
}
