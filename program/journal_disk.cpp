#include "journal_disk.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

bool Fail(std::string* error, const std::string& what)
{
    *error = what + ": " + std::strerror(errno);
    return false;
}

bool IsSeparator(char c)
{
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

bool MakeFolder(const std::string& dir)
{
#ifdef _WIN32
    return _mkdir(dir.c_str()) == 0;
#else
    return mkdir(dir.c_str(), 0700) == 0;
#endif
}

std::FILE* OpenStream(const std::string& path, int flags, std::string* error)
{
#ifdef _WIN32
    const int fd = _open(path.c_str(), flags | _O_WRONLY | _O_APPEND | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
#else
    const int fd = open(path.c_str(), flags | O_WRONLY | O_APPEND | O_CLOEXEC, 0600);
#endif
    if (fd < 0) {
        Fail(error, path);
        return nullptr;
    }
#ifdef _WIN32
    std::FILE* file = _fdopen(fd, "ab");
#else
    std::FILE* file = fdopen(fd, "ab");
#endif
    if (file == nullptr) {
        Fail(error, path);
#ifdef _WIN32
        _close(fd);
#else
        close(fd);
#endif
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

bool SyncStream(std::FILE* file, std::string* error)
{
    if (std::fflush(file) != 0)
        return Fail(error, "flush");
#ifdef _WIN32
    if (_commit(_fileno(file)) != 0)
#else
    if (fsync(fileno(file)) != 0)
#endif
        return Fail(error, "sync");
    return true;
}

} // namespace

bool MakePrivateFolders(const std::string& dir, std::string* error)
{
    if (dir.empty()) {
        *error = "no folder named";
        return false;
    }
    for (std::size_t end = 1; end <= dir.size(); ++end) {
        if (end < dir.size() && !IsSeparator(dir[end]))
            continue;
        const std::string prefix = dir.substr(0, end);
        // A drive ("C:") or the root exists already.
        if (IsSeparator(prefix.back()) || prefix.back() == ':')
            continue;
        if (MakeFolder(prefix)) {
            // A folder made but not yet in its parent's entries on the disk
            // could vanish with the journal in it.
            if (!SyncFolder(FolderOf(prefix), error))
                return false;
        } else if (errno != EEXIST) {
            return Fail(error, prefix);
        }
    }
    struct stat info {};
    if (stat(dir.c_str(), &info) != 0)
        return Fail(error, dir);
    if (!S_ISDIR(info.st_mode)) {
        *error = dir + ": not a folder";
        return false;
    }
    return true;
}

std::FILE* CreateNewFile(const std::string& path, std::string* error)
{
#ifdef _WIN32
    return OpenStream(path, _O_CREAT | _O_EXCL, error);
#else
    return OpenStream(path, O_CREAT | O_EXCL, error);
#endif
}

std::FILE* OpenToAppend(const std::string& path, std::string* error)
{
    return OpenStream(path, 0, error);
}

bool WriteAndSync(std::FILE* file, const std::string& bytes, std::string* error)
{
    if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::clearerr(file);
        return Fail(error, "write");
    }
    return SyncStream(file, error);
}

bool TruncateAndSync(std::FILE* file, std::uint64_t size, std::string* error)
{
#ifdef _WIN32
    if (_chsize_s(_fileno(file), static_cast<long long>(size)) != 0)
#else
    if (ftruncate(fileno(file), static_cast<off_t>(size)) != 0)
#endif
        return Fail(error, "truncate");
    return SyncStream(file, error);
}

bool SyncFolder(const std::string& dir, std::string* error)
{
#ifdef _WIN32
    (void)dir;
    (void)error;
    return true;
#else
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Fail(error, dir);
    const bool synced = fsync(fd) == 0;
    const int saved = errno;
    close(fd);
    errno = saved;
    return synced || Fail(error, dir);
#endif
}

bool ReadWholeFile(const std::string& path, std::string* bytes, std::string* error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return Fail(error, path);
    bytes->clear();
    char buffer[16384];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes->append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        *error = path + ": cannot be read";
        return false;
    }
    return true;
}

bool RenameFile(const std::string& from, const std::string& to, std::string* error)
{
#ifdef _WIN32
    if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = from + ": cannot be renamed (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    return true;
#else
    return std::rename(from.c_str(), to.c_str()) == 0 || Fail(error, from);
#endif
}

bool ListFiles(const std::string& dir, std::vector<std::string>* names, bool* missing, std::string* error)
{
    names->clear();
    *missing = false;
    std::error_code code;
    std::filesystem::directory_iterator entries(dir, code);
    if (code == std::errc::no_such_file_or_directory) {
        *missing = true;
        return true;
    }
    for (; !code && entries != std::filesystem::directory_iterator(); entries.increment(code)) {
        std::error_code typeCode;
        if (!entries->is_regular_file(typeCode))
            continue;
        // A name the narrow character set cannot spell (Windows) is no
        // journal's: journals are named after the runs' ids.
        try {
            names->push_back(entries->path().filename().string());
        } catch (const std::exception&) {
        }
    }
    if (code) {
        *error = dir + ": " + code.message();
        return false;
    }
    return true;
}

std::string FolderOf(const std::string& path)
{
    std::size_t last = path.size();
    while (last > 0 && !IsSeparator(path[last - 1]))
        --last;
    if (last == 0)
        return ".";
    return last == 1 ? path.substr(0, 1) : path.substr(0, last - 1);
}
