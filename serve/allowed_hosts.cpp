#include "allowed_hosts.h"

#include <boost/asio/ip/address.hpp>

#include "ascii_lower.h"

std::string HostName(const std::string& hostHeader)
{
    std::string name = hostHeader;
    if (!name.empty() && name.front() == '[') {
        const std::size_t close = name.find(']');
        name = close == std::string::npos ? name.substr(1) : name.substr(1, close - 1);
    } else if (std::count(name.begin(), name.end(), ':') == 1) {
        name = name.substr(0, name.find(':'));
    }
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    boost::system::error_code notAnAddress;
    const boost::asio::ip::address address = boost::asio::ip::make_address(name, notAnAddress);
    if (!notAnAddress)
        return address.to_string();
    return AsciiLower(name);
}

AllowedHosts::AllowedHosts(const std::string& listenHost, const std::vector<std::string>& extra)
{
    names_.insert("localhost");
    const std::string machine = MachineName();
    if (!machine.empty())
        names_.insert(AsciiLower(machine));
    if (!listenHost.empty())
        names_.insert(HostName(listenHost));
    for (const std::string& name : extra) {
        if (name == "*")
            any_ = true;
        else
            names_.insert(HostName(name));
    }
    for (const std::string& address : MachineAddresses())
        addresses_.insert(address);
    refreshed_ = std::chrono::steady_clock::now();
}

bool AllowedHosts::Known(const std::string& name) const
{
    return names_.count(name) != 0 || addresses_.count(name) != 0;
}

bool AllowedHosts::Allows(const std::string& hostHeader) const
{
    if (any_)
        return true;
    const std::string name = HostName(hostHeader);
    std::lock_guard<std::mutex> lock(mutex_);
    if (Known(name))
        return true;
    boost::system::error_code notAnAddress;
    boost::asio::ip::make_address(name, notAnAddress);
    const auto now = std::chrono::steady_clock::now();
    if (notAnAddress || now - refreshed_ < kRefreshEvery)
        return false;
    refreshed_ = now;
    addresses_.clear();
    for (const std::string& address : MachineAddresses())
        addresses_.insert(address);
    return Known(name);
}
