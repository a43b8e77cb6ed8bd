#include "new_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

NewFileResult CreateNewFile(const std::string& path, bool ownerOnly, std::FILE** file)
{
    // The mode is given at creation, so the key is never readable by others,
    // not even for a moment; O_NOFOLLOW: a planted link is not followed.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          ownerOnly ? 0600 : 0644);
    if (fd < 0)
        return errno == EEXIST ? NewFileResult::kExists : NewFileResult::kFailed;
    if (ownerOnly && ::fchmod(fd, 0600) != 0) { // whatever the umask left
        ::close(fd);
        ::unlink(path.c_str());
        return NewFileResult::kFailed;
    }
    *file = ::fdopen(fd, "w");
    if (*file == nullptr) {
        ::close(fd);
        ::unlink(path.c_str());
        return NewFileResult::kFailed;
    }
    return NewFileResult::kCreated;
}

bool PathExists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}
