#include "bcrypt_check.h"

#include <crypt.h>

#include <cstring>
#include <memory>

namespace {

// crypt_data is tens of kilobytes: on the heap, zeroed, one per call.
std::string crypt_once(const std::string& password, const std::string& setting) {
    auto data = std::make_unique<crypt_data>();
    std::memset(data.get(), 0, sizeof(crypt_data));
    const char* result = crypt_r(password.c_str(), setting.c_str(), data.get());
    return result ? result : "";
}

}  // namespace

CheckResult bcrypt_verifies(const std::string& hash, const std::string& password) {
    std::string again = crypt_once(password, hash);
    if (again != hash) return {false, "the right password gave " + (again.empty() ? "nothing" : again.substr(0, 7) + "...")};
    if (crypt_once(password + "x", hash) == hash) return {false, "another password gave the same hash"};
    return {true, hash.substr(0, 7) + "..."};
}
