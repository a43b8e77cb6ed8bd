#include "address_prefix.h"

#include <arpa/inet.h>

#include <cstring>

std::string AddressPrefix(const std::string& address)
{
    const std::string plain = address.substr(0, address.find('%'));
    unsigned char bytes[16] = {};
    char text[INET6_ADDRSTRLEN] = {};
    if (inet_pton(AF_INET, plain.c_str(), bytes) == 1) {
        bytes[3] = 0;
        inet_ntop(AF_INET, bytes, text, sizeof text);
        return std::string(text) + "/24";
    }
    if (inet_pton(AF_INET6, plain.c_str(), bytes) != 1)
        return address;
    static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    if (std::memcmp(bytes, kMapped, sizeof kMapped) == 0) {
        unsigned char v4[4] = {bytes[12], bytes[13], bytes[14], 0};
        inet_ntop(AF_INET, v4, text, sizeof text);
        return std::string(text) + "/24";
    }
    std::memset(bytes + 8, 0, 8);
    inet_ntop(AF_INET6, bytes, text, sizeof text);
    return std::string(text) + "/64";
}
