// serve's web configuration reader on any text: it loads or says why, naming
// the file; what it loads holds together (operators are users, every hash
// is a bcrypt hash of a cost serve takes, TLS names both its files).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "web_config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string kPath = "/nonexistent-korvanthine-fuzz/web.yml";
    const std::string text(reinterpret_cast<const char*>(data), size);
    WebConfig config;
    std::string error;
    if (!LoadWebConfigText(text, kPath, &config, &error)) {
        if (error.rfind(kPath + ":", 0) != 0)
            std::abort();
        return 0;
    }
    for (const auto& [name, hash] : config.users)
        if (name.empty() || name.find(':') != std::string::npos || !IsBcryptHash(hash))
            std::abort();
    for (const std::string& user : config.operators)
        if (config.users.count(user) == 0)
            std::abort();
    if (config.tls && (config.certFile.empty() || config.keyFile.empty()))
        std::abort();
    return 0;
}
