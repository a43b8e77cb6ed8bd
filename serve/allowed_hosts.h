// Which names a request's Host header may give. A browser that was led to
// this machine under another site's name (DNS rebinding) sends that name;
// refusing it keeps the bench's data, and later its settings, away from
// pages of other sites. Allowed: the listen address, the machine's name,
// localhost, every address the machine has, and the names given with
// --web.allowed-host ("*" allows any).
#pragma once

#include <chrono>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class AllowedHosts {
public:
    AllowedHosts(const std::string& listenHost, const std::vector<std::string>& extra);

    // hostHeader as sent: "bench7:27531", "[::1]:27531", "127.0.0.1".
    bool Allows(const std::string& hostHeader) const;

private:
    bool Known(const std::string& name) const;

    bool any_ = false;
    std::set<std::string> names_; // lower case; addresses in their canonical text
    // The machine's addresses change (DHCP, a VPN coming up): an unknown
    // address has them read again, at most this often.
    static constexpr std::chrono::seconds kRefreshEvery{10};
    mutable std::mutex mutex_;
    mutable std::set<std::string> addresses_;
    mutable std::chrono::steady_clock::time_point refreshed_{};
};

// The name the request gave, without its port, brackets or final dot, in
// lower case; IP addresses in their canonical text ("::1", "127.0.0.1").
std::string HostName(const std::string& hostHeader);

// The machine's own name and the addresses of its interfaces, canonical.
std::string MachineName();
std::vector<std::string> MachineAddresses();
