// serve's local endpoint on Windows is not built yet: the port serve holds
// stays closed to other programs there (the platform's share mode 0).
#include <cstdio>

#include "local_endpoint.h"

struct LocalEndpoint::Impl {};

LocalEndpoint::LocalEndpoint(ExchangeQueue& queue) : queue_(queue) {}

LocalEndpoint::~LocalEndpoint() = default;

bool LocalEndpoint::Start(const std::string& port)
{
    std::fprintf(stderr, "korvanthine-ctl: other programs cannot share %s through serve on Windows yet\n", port.c_str());
    return false;
}

void LocalEndpoint::Stop() {}
