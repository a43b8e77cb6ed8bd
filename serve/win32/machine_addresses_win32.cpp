// The machine's addresses as its own name resolves: Windows answers that
// from the interfaces themselves, without asking a DNS server.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <boost/asio/ip/address.hpp>

#include "allowed_hosts.h"

std::string MachineName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "";
    return name;
}

std::vector<std::string> MachineAddresses()
{
    std::vector<std::string> addresses;
    const std::string name = MachineName();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (name.empty() || getaddrinfo(name.c_str(), nullptr, &hints, &list) != 0)
        return addresses;
    for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
        char text[INET6_ADDRSTRLEN] = {};
        const void* raw = entry->ai_family == AF_INET
                              ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr)
                              : static_cast<const void*>(&reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr);
        if (inet_ntop(entry->ai_family, raw, text, sizeof text) == nullptr)
            continue;
        boost::system::error_code bad;
        const boost::asio::ip::address address = boost::asio::ip::make_address(text, bad);
        if (!bad)
            addresses.push_back(address.to_string());
    }
    freeaddrinfo(list);
    // Loopback is always the machine's, whatever its name resolves to.
    addresses.push_back("127.0.0.1");
    addresses.push_back("::1");
    return addresses;
}
