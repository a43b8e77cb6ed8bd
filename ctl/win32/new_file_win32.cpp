#include "new_file.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

NewFileResult CreateNewFile(const std::string& path, bool, std::FILE** file)
{
    // Windows has no owner-only mode: who may read the key is the folder's
    // access list, which the installer restricts before the key is written.
    const int fd = ::_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                           _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return errno == EEXIST ? NewFileResult::kExists : NewFileResult::kFailed;
    *file = ::_fdopen(fd, "wb");
    if (*file == nullptr) {
        ::_close(fd);
        ::DeleteFileA(path.c_str());
        return NewFileResult::kFailed;
    }
    return NewFileResult::kCreated;
}

bool PathExists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
