// serve --listen: which texts name an address and port, and which do not.
#include <gtest/gtest.h>

#include "listen_address.h"

namespace {

TEST(ListenAddress, HostAndPortOrAUsageError)
{
    const struct {
        const char* text;
        bool valid;
        const char* host;
        int port;
    } cases[] = {
        {"", true, "", kDefaultServePort},
        {":8080", true, "", 8080},
        {"*:8080", true, "", 8080},
        {"127.0.0.1:0", true, "127.0.0.1", 0},
        {"[::1]:65535", true, "::1", 65535},
        {"[::]:9", true, "::", 9},
        {"::1:8080", false, "", 0},   // an IPv6 address needs its brackets
        {"127.0.0.1", false, "", 0},  // no port
        {"127.0.0.1:", false, "", 0},
        {"127.0.0.1:65536", false, "", 0},
        {"127.0.0.1:80a", false, "", 0},
        {"127.0.0.1:-1", false, "", 0},
        {"127.0.0.1:000080", false, "", 0},
    };
    for (const auto& c : cases) {
        std::string host = "unchanged";
        int port = -1;
        EXPECT_EQ(ParseListenAddress(c.text, &host, &port), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(host, c.host) << c.text;
            EXPECT_EQ(port, c.port) << c.text;
        }
    }
}

} // namespace
