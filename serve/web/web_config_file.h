// The web configuration as serve uses it while running: loaded at start
// (a problem there stops serve), read again whenever the file, or the
// certificate or key it names, changes, so that a renewed certificate or a
// new user needs no restart. A change that does not load keeps the last
// good configuration, and says so on standard error; so does one that
// would take all users away or change the listener's TLS, which only a
// restart may do.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include <boost/asio/ssl/context.hpp>

#include "web_config.h"

struct WebSetup {
    WebConfig config;
    std::shared_ptr<boost::asio::ssl::context> tls; // when the configuration has TLS
};

class WebConfigFile {
public:
    bool Load(const std::string& path, std::string* error);
    std::shared_ptr<const WebSetup> Current() const;
    // True when a changed file loaded and is now current.
    bool Refresh();

private:
    // Modification times and sizes of the file and of what it names.
    std::string Fingerprint(const WebConfig& config) const;
    // False, and why, when next may not follow current without a restart.
    bool MayReplace(const WebConfig& current, const WebConfig& next, std::string* error) const;
    static bool Build(const std::string& path, WebSetup* setup, std::string* error);

    std::string path_;
    mutable std::mutex mutex_;
    std::shared_ptr<const WebSetup> current_;
    std::string fingerprint_; // of the last attempt, good or not
};
