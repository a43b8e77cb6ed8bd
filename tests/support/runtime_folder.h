// A runtime folder of the test's own ($XDG_RUNTIME_DIR, POSIX), where a
// serve started by the test puts its endpoint and where the link looks for
// it; the earlier value comes back and the folder goes at the end.
#pragma once

#include <filesystem>
#include <system_error>
#include <stdlib.h>

#include <cstdlib>
#include <string>

class ScopedRuntimeFolder {
public:
    ScopedRuntimeFolder()
    {
        char dir[] = "/tmp/korvanthine-runtime.XXXXXX";
        if (mkdtemp(dir) == nullptr)
            return;
        path_ = dir;
        if (const char* old = getenv("XDG_RUNTIME_DIR")) {
            had_ = true;
            saved_ = old;
        }
        setenv("XDG_RUNTIME_DIR", path_.c_str(), 1);
    }
    ~ScopedRuntimeFolder()
    {
        if (path_.empty())
            return;
        if (had_)
            setenv("XDG_RUNTIME_DIR", saved_.c_str(), 1);
        else
            unsetenv("XDG_RUNTIME_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScopedRuntimeFolder(const ScopedRuntimeFolder&) = delete;
    ScopedRuntimeFolder& operator=(const ScopedRuntimeFolder&) = delete;

    // "" when the folder could not be made.
    const std::string& Path() const { return path_; }
    // Where serve's endpoint folder is in it.
    std::string Endpoints() const { return path_ + "/korvanthine"; }

private:
    std::string path_;
    bool had_ = false;
    std::string saved_;
};
