// The serial port on POSIX: termios, exclusive use, RTS by modem-line ioctls,
// and reads and writes bounded by poll against a monotonic clock.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "port_names.h"
#include "serial_platform.h"
#include "serial_timeouts.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kDevicePathPrefix = 4; // "\\.\"

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0)
        return 0;
    // Round up so that poll never wakes a hair early and spins.
    return static_cast<int>(left) + 1;
}

// 115200 8N1, raw. Software flow control is off: Linux turns IXON on for
// every terminal, and then one stray 0x13 on the line would stop all output
// until a 0x11 came, and XON/XOFF bytes would vanish from the reply, whose
// raw bytes the exchange counts. Hardware flow control is off so that RTS
// is the program's to drive.
void ConfigureLine(int fd)
{
    termios tio;
    if (tcgetattr(fd, &tio) != 0)
        return; // not detected, as any failure after a successful open
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | INPCK | IUCLC
                                          | IXON | IXOFF | IXANY);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, B115200);
    cfsetospeed(&tio, B115200);
    tcsetattr(fd, TCSANOW, &tio);
}

void SetRts(int fd, bool raised)
{
    int bits = TIOCM_RTS;
    // Pseudo-terminals refuse modem-line calls; the result is not needed.
    (void)ioctl(fd, raised ? TIOCMBIS : TIOCMBIC, &bits);
}

} // namespace

CommHandle PlatformOpenPort(const char* devicePath)
{
    if (std::strlen(devicePath) <= kDevicePathPrefix)
        return kNoPort;
    const std::string device = DevicePathForPort(devicePath + kDevicePathPrefix);
    if (device.empty())
        return kNoPort;

    const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return kNoPort;

    // Only terminals are ports: a pipe or socket could raise SIGPIPE, a file never answers.
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || !isatty(fd)) {
        close(fd);
        return kNoPort;
    }
    // Exclusive use: the lock keeps out other programs that use it too
    // (and root, whom TIOCEXCL does not stop).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return kNoPort;
    }
    (void)ioctl(fd, TIOCEXCL);

    ConfigureLine(fd);
    SetRts(fd, false);
    tcflush(fd, TCIOFLUSH);
    return fd;
}

void PlatformClosePort(CommHandle port)
{
    SetRts(port, false);
    // Exclusive mode belongs to the terminal, not to this descriptor: a
    // device that another program keeps open (a pseudo-terminal, a getty)
    // would otherwise stay closed to everyone but root, this program included.
    (void)ioctl(port, TIOCNXCL);
    // Closing releases the lock too. Unsent bytes are dropped rather than
    // drained, so that a stuck line cannot hold up the close.
    tcflush(port, TCOFLUSH);
    close(port);
}

void PlatformBeginExchange(CommHandle port)
{
    tcflush(port, TCIOFLUSH);
}

void PlatformSetRts(CommHandle port, bool raised)
{
    SetRts(port, raised);
}

void PlatformWriteByte(CommHandle port, const char* txBuffer)
{
    const auto deadline = Clock::now() + milliseconds(kWriteTimeoutMs);

    // Hand the byte to the driver; flow control may hold it back.
    for (;;) {
        const ssize_t written = write(port, txBuffer, 1);
        if (written == 1)
            break;
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return; // the device is gone: nothing to wait for
        pollfd pfd{port, POLLOUT, 0};
        const int wait = RemainingMs(deadline);
        if (wait == 0 || poll(&pfd, 1, wait) <= 0 || (pfd.revents & (POLLERR | POLLHUP | POLLNVAL)))
            return;
    }

    // The write counts as done once the port has sent the byte from its queue.
    for (;;) {
        int queued = 0;
        if (ioctl(port, TIOCOUTQ, &queued) != 0 || queued <= 0)
            return;
        if (Clock::now() >= deadline)
            return;
        const timespec pause{0, 20000}; // a quarter of a character time
        nanosleep(&pause, nullptr);
    }
}

std::size_t PlatformRead(CommHandle port, char* buffer, std::size_t count)
{
    const auto start = Clock::now();
    const auto totalDeadline = start + milliseconds(kReadTotalMultiplierMs * count + kReadTotalConstantMs);
    auto deadline = totalDeadline;
    std::size_t received = 0;

    while (received < count) {
        pollfd pfd{port, POLLIN, 0};
        const int wait = RemainingMs(deadline);
        if (wait == 0)
            break;
        const int ready = poll(&pfd, 1, wait);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (ready == 0)
            break; // interval or total time-out
        if (pfd.revents & POLLNVAL)
            break;
        if (pfd.revents & POLLIN) {
            const ssize_t got = read(port, buffer + received, count - received);
            if (got > 0) {
                received += static_cast<std::size_t>(got);
                // The interval time-out counts from each received byte.
                const auto gapDeadline = Clock::now() + milliseconds(kReadIntervalMs);
                deadline = gapDeadline < totalDeadline ? gapDeadline : totalDeadline;
                continue;
            }
            if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
                continue;
            break; // end of file or an error: the device has gone away
        }
        // Hang-up or error with nothing left to read: end with what we have,
        // never spin on a descriptor that keeps reporting it.
        break;
    }
    return received;
}

std::size_t PlatformInputWaiting(CommHandle port)
{
    int waiting = 0;
    if (ioctl(port, FIONREAD, &waiting) != 0 || waiting < 0)
        return 0;
    return static_cast<std::size_t>(waiting);
}
