// What one check of the libraries found: passed or not, and a line saying
// what was seen (a protocol and cipher, a value, or what went wrong).
#pragma once

#include <string>

struct CheckResult {
    bool passed = false;
    std::string detail;
};
