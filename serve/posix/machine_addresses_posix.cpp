#include <ifaddrs.h>
#include <netinet/in.h>
#include <unistd.h>

#include <climits>

#include <boost/asio/ip/address.hpp>

#include "allowed_hosts.h"

std::string MachineName()
{
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "";
    return name;
}

std::vector<std::string> MachineAddresses()
{
    std::vector<std::string> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return addresses;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr)
            continue;
        if (entry->ifa_addr->sa_family == AF_INET) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            boost::asio::ip::address_v4::bytes_type bytes;
            std::copy_n(reinterpret_cast<const unsigned char*>(&in->sin_addr), bytes.size(), bytes.begin());
            addresses.push_back(boost::asio::ip::address_v4(bytes).to_string());
        } else if (entry->ifa_addr->sa_family == AF_INET6) {
            const auto* in6 = reinterpret_cast<const sockaddr_in6*>(entry->ifa_addr);
            boost::asio::ip::address_v6::bytes_type bytes;
            std::copy_n(in6->sin6_addr.s6_addr, bytes.size(), bytes.begin());
            // A browser's Host carries no zone: the address alone.
            addresses.push_back(boost::asio::ip::address_v6(bytes).to_string());
        }
    }
    freeifaddrs(list);
    return addresses;
}
