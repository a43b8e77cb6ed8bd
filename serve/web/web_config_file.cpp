#include "web_config_file.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#ifdef _WIN32
#include <filesystem>
#endif

#include "basic_auth.h"
#include "tls_context.h"

namespace {

std::string FileStamp(const std::string& path)
{
#ifdef _WIN32
    // Windows keeps a file's time to 100 ns, which stat does not give, and
    // has no inode: a file replaced by another is seen by its time and size.
    std::error_code failed;
    const auto written = std::filesystem::last_write_time(path, failed);
    const auto size = failed ? 0 : std::filesystem::file_size(path, failed);
    if (path.empty() || failed)
        return "-;";
    return std::to_string(written.time_since_epoch().count()) + ":" + std::to_string(size) + ";";
#else
    struct stat info{};
    if (path.empty() || stat(path.c_str(), &info) != 0)
        return "-;";
    return std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + ":"
           + std::to_string(info.st_size) + ":" + std::to_string(info.st_ino) + ";";
#endif
}

} // namespace

std::string WebConfigFile::Fingerprint(const WebConfig& config) const
{
    return FileStamp(path_) + FileStamp(config.certFile) + FileStamp(config.keyFile);
}

bool WebConfigFile::Build(const std::string& path, WebSetup* setup, std::string* error)
{
    if (!LoadWebConfig(path, &setup->config, error))
        return false;
    // Timed here, once, so that every failed check can be made to last as
    // long as the costliest one (a wrong password for a cheap hash would
    // otherwise tell that its user exists).
    if (const std::string costliest = CostliestHash(setup->config); !costliest.empty()) {
        const auto began = std::chrono::steady_clock::now();
        BcryptMatches("", costliest);
        setup->config.failedCheckFloor = std::chrono::steady_clock::now() - began;
    }
    if (!setup->config.tls)
        return true;
    setup->tls = MakeTlsContext(setup->config, error);
    if (!setup->tls)
        *error = path + ": " + *error;
    return setup->tls != nullptr;
}

bool WebConfigFile::MayReplace(const WebConfig& current, const WebConfig& next, std::string* error) const
{
    // A file caught half written, or cut short, must not open the page:
    // going from users to none takes a restart, where it is meant.
    if (current.AuthRequired() && !next.AuthRequired()) {
        *error = path_ + ": basic_auth_users would be removed: the page would open to everyone";
        return false;
    }
    // The listener is TLS or not, and of which versions, from the start to
    // the end: a reload neither opens it in clear nor lowers its versions.
    if (current.tls != next.tls) {
        *error = path_ + ": tls_server_config would be " + (current.tls ? "removed" : "added")
                 + "; that takes a restart of serve";
        return false;
    }
    if (current.minTls13 != next.minTls13) {
        *error = path_ + ": tls_server_config: min_version would change from " + (current.minTls13 ? "TLS13" : "TLS12")
                 + " to " + (next.minTls13 ? "TLS13" : "TLS12") + "; that takes a restart of serve";
        return false;
    }
    return true;
}

bool WebConfigFile::Load(const std::string& path, std::string* error)
{
    path_ = path;
    WebSetup setup;
    if (!Build(path, &setup, error))
        return false;
    std::lock_guard<std::mutex> lock(mutex_);
    fingerprint_ = Fingerprint(setup.config);
    current_ = std::make_shared<const WebSetup>(std::move(setup));
    return true;
}

std::shared_ptr<const WebSetup> WebConfigFile::Current() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return current_;
}

bool WebConfigFile::Refresh()
{
    const std::shared_ptr<const WebSetup> current = Current();
    if (!current)
        return false;
    const std::string seen = Fingerprint(current->config);
    if (seen == fingerprint_)
        return false;
    WebSetup setup;
    std::string error;
    bool loaded = Build(path_, &setup, &error);
    if (loaded)
        loaded = MayReplace(current->config, setup.config, &error);
    // Remember what was tried, so that a broken file is reported once, not
    // at every look; the next change is tried again. The stamps are those
    // seen before the load, so that a file written again while it was read
    // is read once more; a file that names other certificates is stamped
    // with those.
    const bool sameFiles = !loaded || (setup.config.certFile == current->config.certFile
                                       && setup.config.keyFile == current->config.keyFile);
    const std::string tried = sameFiles ? seen : Fingerprint(setup.config);
    std::lock_guard<std::mutex> lock(mutex_);
    fingerprint_ = tried;
    if (!loaded) {
        std::fprintf(stderr, "korvanthine-ctl: %s; keeping the web configuration last loaded\n", error.c_str());
        return false;
    }
    current_ = std::make_shared<const WebSetup>(std::move(setup));
    std::fprintf(stderr, "korvanthine-ctl: web configuration %s loaded again\n", path_.c_str());
    return true;
}
