#include "row_sink.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

RowSink::~RowSink()
{
    if (file_ != nullptr && file_ != stdout)
        std::fclose(file_);
}

bool RowSink::Open(const std::string& path)
{
    path_ = path;
    if (path.empty()) {
        file_ = stdout;
        return true;
    }
    file_ = std::fopen(path.c_str(), "ab");
    if (file_ == nullptr) {
        std::fprintf(stderr, "korvanthine-ctl: cannot append to %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    // A file that cannot tell its length (a pipe) counts as new.
    empty_ = std::fseek(file_, 0, SEEK_END) != 0 || std::ftell(file_) <= 0;
    return true;
}

bool RowSink::Write(const std::string& text)
{
    bool written = std::fputs(text.c_str(), file_) >= 0 && std::fflush(file_) == 0;
    if (written && file_ != stdout) {
#ifdef _WIN32
        written = _commit(_fileno(file_)) == 0;
#else
        written = fsync(fileno(file_)) == 0 || errno == EINVAL; // EINVAL: a pipe or terminal
#endif
    }
    if (!written) {
        std::fprintf(stderr, "korvanthine-ctl: cannot write %s: %s\n", path_.empty() ? "standard output" : path_.c_str(),
                     std::strerror(errno));
        return false;
    }
    empty_ = false;
    return true;
}
