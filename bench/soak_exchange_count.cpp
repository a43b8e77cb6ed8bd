#include "soak_exchange_count.h"

#include "exchange.h"

namespace {
ExchangeCounts g_counts;
}

// The linker's names for ExchangeFrame(const char*) under --wrap.
extern "C" int __real__Z13ExchangeFramePKc(const char* text);

extern "C" int __wrap__Z13ExchangeFramePKc(const char* text)
{
    const int value = __real__Z13ExchangeFramePKc(text);
    ++g_counts.made;
    if (g_bCommError)
        ++g_counts.failed;
    return value;
}

ExchangeCounts CountedExchanges()
{
    return g_counts;
}
