#include "address_prefix.h"

#include <boost/asio/ip/address.hpp>

namespace ip = boost::asio::ip;

std::string AddressPrefix(const std::string& address)
{
    const std::string plain = address.substr(0, address.find('%'));
    boost::system::error_code invalid;
    const ip::address parsed = ip::make_address(plain, invalid);
    if (invalid)
        return address;
    if (parsed.is_v4() || parsed.to_v6().is_v4_mapped()) {
        ip::address_v4::bytes_type v4 = parsed.is_v4() ? parsed.to_v4().to_bytes()
                                                       : ip::make_address_v4(ip::v4_mapped, parsed.to_v6()).to_bytes();
        v4[3] = 0;
        return ip::address_v4(v4).to_string() + "/24";
    }
    ip::address_v6::bytes_type v6 = parsed.to_v6().to_bytes();
    for (std::size_t i = 8; i < v6.size(); ++i)
        v6[i] = 0;
    return ip::address_v6(v6).to_string() + "/64";
}
