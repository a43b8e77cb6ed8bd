#include "pty_port.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string Failure(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

void MakeRaw(int fd)
{
    termios tio;
    if (tcgetattr(fd, &tio) != 0)
        return;
    cfmakeraw(&tio);
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tcsetattr(fd, TCSANOW, &tio);
}

} // namespace

PtyPort::~PtyPort()
{
    Unlink();
    Close();
}

bool PtyPort::Open(std::string* error)
{
    Close();
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        *error = Failure("posix_openpt");
        return false;
    }
    if (grantpt(master) != 0 || unlockpt(master) != 0) {
        *error = Failure("grantpt/unlockpt");
        close(master);
        return false;
    }
    const char* name = ptsname(master);
    if (name == nullptr) {
        *error = Failure("ptsname");
        close(master);
        return false;
    }
    const std::string path = name;
    const int slave = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave < 0) {
        *error = Failure("open slave");
        close(master);
        return false;
    }
    MakeRaw(slave);
    // A reply written while nobody listens must never block the simulator.
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    master_ = master;
    slave_ = slave;
    slavePath_ = path;
    return true;
}

void PtyPort::Close()
{
    if (master_ >= 0)
        close(master_);
    if (slave_ >= 0)
        close(slave_);
    master_ = -1;
    slave_ = -1;
}

bool PtyPort::Link(const std::string& linkPath, std::string* error)
{
    return PointLink(linkPath, slavePath_, error);
}

bool PtyPort::LinkToNothing(std::string* error)
{
    if (linkPath_.empty())
        return true;
    return PointLink(linkPath_, "/dev/korvanthine-sim-hung-up", error);
}

bool PtyPort::PointLink(const std::string& linkPath, const std::string& target, std::string* error)
{
    struct stat info;
    if (lstat(linkPath.c_str(), &info) == 0 && !S_ISLNK(info.st_mode)) {
        *error = linkPath + " exists and is not a symbolic link";
        return false;
    }
    // A fresh link renamed over the old one: a reader never finds the name missing.
    const std::string temporary = linkPath + ".new." + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) {
        *error = Failure(("symlink " + temporary).c_str());
        return false;
    }
    if (rename(temporary.c_str(), linkPath.c_str()) != 0) {
        *error = Failure(("rename to " + linkPath).c_str());
        unlink(temporary.c_str());
        return false;
    }
    linkPath_ = linkPath;
    linkTarget_ = target;
    return true;
}

void PtyPort::Unlink()
{
    if (linkPath_.empty())
        return;
    char target[4096];
    const ssize_t length = readlink(linkPath_.c_str(), target, sizeof target - 1);
    // Another simulator may have taken the name over since: leave its link alone.
    if (length >= 0 && std::string(target, static_cast<std::size_t>(length)) == linkTarget_)
        unlink(linkPath_.c_str());
    linkPath_.clear();
    linkTarget_.clear();
}
