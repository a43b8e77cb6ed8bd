#include "row_sink.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "standard_output.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

bool Truncate(std::FILE* file, long long length)
{
#ifdef _WIN32
    return _chsize_s(_fileno(file), length) == 0;
#else
    return ftruncate(fileno(file), static_cast<off_t>(length)) == 0;
#endif
}

bool PushToDisk(std::FILE* file)
{
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0 || errno == EINVAL; // EINVAL: a pipe or terminal
#endif
}

} // namespace

RowSink::~RowSink()
{
    if (file_ == nullptr || file_ == stdout)
        return;
    std::fclose(file_);
    if (created_ && !written_)
        std::remove(path_.c_str());
}

bool RowSink::Open(const std::string& path)
{
    path_ = path;
    if (path.empty() || path == "-") {
        file_ = stdout;
        return true;
    }
    struct stat before;
    created_ = stat(path.c_str(), &before) != 0;
    // Read as well as append, to see whether the last row was left unfinished.
    file_ = std::fopen(path.c_str(), "a+b");
    if (file_ == nullptr) {
        std::fprintf(stderr, "korvanthine-ctl: cannot append to %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    // Unbuffered: a row that fails leaves nothing behind in a buffer that a
    // later flush could still add to the file after it was cut back.
    std::setvbuf(file_, nullptr, _IONBF, 0);
    // A file that cannot tell its length (a pipe) counts as new.
    empty_ = std::fseek(file_, 0, SEEK_END) != 0 || std::ftell(file_) <= 0;
    if (!empty_ && std::fseek(file_, -1, SEEK_END) == 0)
        newlineDue_ = std::fgetc(file_) != '\n';
    return true;
}

bool RowSink::Write(const std::string& text)
{
    const bool written = file_ == stdout ? PrintToStandardOutput(text) : WriteToFile(text);
    if (written) {
        empty_ = false;
        written_ = true;
    }
    return written;
}

bool RowSink::WriteToFile(const std::string& text)
{
    std::fseek(file_, 0, SEEK_END);
    const long long before = std::ftell(file_);
    const std::string row = (newlineDue_ ? "\n" : "") + text;
    errno = 0;
    const bool written = std::fwrite(row.data(), 1, row.size(), file_) == row.size() && std::fflush(file_) == 0
                         && PushToDisk(file_);
    if (written) {
        newlineDue_ = false;
        return true;
    }
    const int error = errno;
    std::clearerr(file_);
    const bool cut = before >= 0 && Truncate(file_, before);
    std::fprintf(stderr, "korvanthine-ctl: cannot write %s: %s%s\n", path_.c_str(),
                 error != 0 ? std::strerror(error) : "write failed",
                 cut ? "" : " (the row may be left unfinished in the file)");
    return false;
}
