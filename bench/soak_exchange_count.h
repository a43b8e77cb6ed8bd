// Counts every request-reply exchange the program makes and those that got
// fewer than 12 bytes, whoever made them (the panel's handlers included).
// The soak is linked with -Wl,--wrap=_Z13ExchangeFramePKc, which routes
// every call of ExchangeFrame through the counter.
#pragma once

struct ExchangeCounts {
    unsigned long long made = 0;
    unsigned long long failed = 0;
};

ExchangeCounts CountedExchanges();
