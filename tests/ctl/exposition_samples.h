// The samples of a Prometheus text exposition: "name{labels}" to value text.
#pragma once

#include <map>
#include <sstream>
#include <string>

inline std::map<std::string, std::string> ExpositionSamples(const std::string& text)
{
    std::map<std::string, std::string> samples;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::size_t blank = line.rfind(' ');
        if (line.empty() || line[0] == '#' || blank == std::string::npos)
            continue;
        samples[line.substr(0, blank)] = line.substr(blank + 1);
    }
    return samples;
}
