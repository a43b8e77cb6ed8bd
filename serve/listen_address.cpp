#include "listen_address.h"

#include <cctype>

bool ParseListenAddress(const std::string& text, std::string* host, int* port)
{
    if (text.empty()) {
        host->clear();
        *port = kDefaultServePort;
        return true;
    }
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos)
        return false;
    std::string name = text.substr(0, colon);
    const std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5)
        return false;
    for (char c : digits)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    const int number = std::stoi(digits);
    if (number > 65535)
        return false;
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
        name = name.substr(1, name.size() - 2);
    else if (name.find(':') != std::string::npos)
        return false; // an IPv6 address needs its brackets
    if (name == "*")
        name.clear();
    *host = name;
    *port = number;
    return true;
}
