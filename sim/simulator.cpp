#include "simulator.h"

#include <poll.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "port_names.h"

namespace {

using std::chrono::duration_cast;
using std::chrono::nanoseconds;

// A request longer than this without a carriage return is noise: it is
// logged and dropped so the buffer cannot grow without bound.
constexpr std::size_t kMaxRequestLength = 256;

// Waits closer than this to a due byte spin instead of sleeping: a sleeping
// wake-up is tens of microseconds late, a character lasts 87.
constexpr nanoseconds kSpinTail{60000};

} // namespace

Simulator::Simulator(SimOptions options)
    : options_(std::move(options))
    , controller_(options_.seed)
{
    controller_.SetVersion(options_.version);
    if (options_.sensorBreak >= 0 && options_.sensorBreak < kSimChannelCount)
        controller_.Model().BreakSensor(options_.sensorBreak);
    lastAdvance_ = Clock::now();
}

bool Simulator::Start(std::string* error)
{
    const std::string& name = options_.portName;
    if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
        *error = "not a port name: '" + name + "'";
        return false;
    }
    std::string dir = options_.portsDir.empty() ? PortsDirectory() : options_.portsDir;
    if (dir.empty()) {
        *error = "no ports directory: give --ports-dir or set KORVANTHINE_PORTS";
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        *error = "cannot create " + dir + ": " + ec.message();
        return false;
    }
    std::string lower;
    for (char c : name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    linkPath_ = dir + "/" + lower;

    // Character deadlines are microseconds apart: ask for exact timer wake-ups.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    if (!port_.Open(error) || !port_.Link(linkPath_, error))
        return false;
    if (!options_.logPath.empty() && !log_.OpenFile(options_.logPath, error))
        return false;
    if (!options_.controlPath.empty() && !control_.Open(options_.controlPath, options_.ackPath, error))
        return false;
    lastAdvance_ = Clock::now();
    return SetFaults(options_.faults, error);
}

bool Simulator::SetFaults(const FaultModes& faults, std::string* error)
{
    if (faults.hangup && port_.IsOpen() && !HangUp(error))
        return false;
    if (!faults.hangup && !port_.IsOpen() && !Return(error))
        return false;
    faults_ = faults;
    return true;
}

bool Simulator::HangUp(std::string* error)
{
    port_.Close();
    output_.clear();
    request_.clear();
    return port_.LinkToNothing(error);
}

bool Simulator::Return(std::string* error)
{
    return port_.Open(error) && port_.Link(linkPath_, error);
}

void Simulator::SetFrozen(bool frozen)
{
    CatchUpModel(); // up to now, so that thawing does not jump
    controller_.Model().SetFrozen(frozen);
}

void Simulator::SetSpeed(double speed)
{
    CatchUpModel(); // the time so far at the old speed
    options_.speed = speed;
}

void Simulator::CatchUpModel()
{
    const Clock::time_point now = Clock::now();
    controller_.Model().Advance(std::chrono::duration<double>(now - lastAdvance_).count() * options_.speed);
    lastAdvance_ = now;
}

void Simulator::Inject(const std::string& bytes)
{
    if (port_.IsOpen() && !bytes.empty())
        (void)!write(port_.MasterFd(), bytes.data(), bytes.size());
}

void Simulator::Receive(const char* data, std::size_t size, Clock::time_point now)
{
    for (std::size_t i = 0; i < size; ++i) {
        // Paced, a byte takes one character time on the wire, after the one before it.
        if (options_.pace)
            lastArrival_ = std::max(now, lastArrival_) + kCharacterTime;
        else
            lastArrival_ = now;
        request_ += data[i];
        if (data[i] == '\r' || request_.size() >= kMaxRequestLength)
            CompleteRequest(lastArrival_);
    }
}

void Simulator::CompleteRequest(Clock::time_point arrival)
{
    log_.Add(request_);
    CatchUpModel();
    const std::optional<std::string> reply = controller_.HandleRequest(request_);
    request_.clear();
    if (reply)
        Schedule(ShapeReply(*reply, faults_, random_), arrival);
}

void Simulator::Schedule(const std::string& bytes, Clock::time_point start)
{
    if (bytes.empty())
        return;
    // Replies never overtake one another.
    if (!output_.empty())
        start = std::max(start, output_.back().due);
    const Clock::time_point first = start + std::chrono::milliseconds(faults_.delayMs);
    if (!options_.pace && faults_.gapMs == 0) {
        output_.push_back({first, bytes});
        return;
    }
    const auto gap = duration_cast<nanoseconds>(std::chrono::milliseconds(faults_.gapMs));
    const nanoseconds character = options_.pace ? kCharacterTime : nanoseconds(0);
    for (std::size_t j = 0; j < bytes.size(); ++j) {
        // Paced, byte j is complete at the far end (j + 1) character times in.
        const auto n = static_cast<long>(j);
        output_.push_back({first + gap * n + character * (n + 1), std::string(1, bytes[j])});
    }
}

void Simulator::WriteDue(Clock::time_point now)
{
    while (!output_.empty() && output_.front().due <= now) {
        const std::string& bytes = output_.front().bytes;
        // A full input queue at the far end (nobody reading) drops the bytes.
        if (port_.IsOpen())
            (void)!write(port_.MasterFd(), bytes.data(), bytes.size());
        output_.pop_front();
    }
}

void Simulator::ReadLine(Clock::time_point now)
{
    char buffer[512];
    for (;;) {
        const ssize_t got = read(port_.MasterFd(), buffer, sizeof buffer);
        if (got > 0) {
            Receive(buffer, static_cast<std::size_t>(got), now);
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // The master should never fail while we hold the slave; if it does,
        // behave as hung up rather than spin on it.
        std::fprintf(stderr, "korvanthine-sim: line failed (%s); hanging up\n", std::strerror(errno));
        std::string error;
        FaultModes gone = faults_;
        gone.hangup = true;
        SetFaults(gone, &error);
        return;
    }
}

void Simulator::ServeControl()
{
    for (const std::string& line : control_.ReadLines()) {
        const std::string ack = ApplyControlLine(*this, line);
        if (!ack.empty())
            control_.Acknowledge(ack);
    }
}

void Simulator::WaitForWork(const sigset_t* waitMask)
{
    pollfd fds[2];
    nfds_t count = 0;
    int masterIndex = -1;
    int controlIndex = -1;
    if (port_.IsOpen()) {
        masterIndex = static_cast<int>(count);
        fds[count++] = {port_.MasterFd(), POLLIN, 0};
    }
    if (control_.Fd() >= 0) {
        controlIndex = static_cast<int>(count);
        fds[count++] = {control_.Fd(), POLLIN, 0};
    }

    timespec timeout{};
    timespec* timeoutPointer = nullptr; // idle: sleep until something happens
    if (!output_.empty()) {
        const nanoseconds left = output_.front().due - Clock::now();
        if (left <= kSpinTail) {
            // Busy-wait the last stretch for a punctual byte.
            while (Clock::now() < output_.front().due) {
            }
            return;
        }
        const nanoseconds sleep = left - kSpinTail;
        timeout.tv_sec = static_cast<time_t>(sleep.count() / 1000000000);
        timeout.tv_nsec = static_cast<long>(sleep.count() % 1000000000);
        timeoutPointer = &timeout;
    }

    if (ppoll(fds, count, timeoutPointer, waitMask) <= 0)
        return; // time-out, or a signal: the caller looks at the stop flag
    const Clock::time_point now = Clock::now();
    if (masterIndex >= 0 && (fds[masterIndex].revents & (POLLIN | POLLHUP | POLLERR)))
        ReadLine(now);
    if (controlIndex >= 0 && (fds[controlIndex].revents & POLLIN))
        ServeControl();
}

void Simulator::Run(const volatile std::sig_atomic_t* stop, const sigset_t* waitMask)
{
    while (*stop == 0) {
        WriteDue(Clock::now());
        WaitForWork(waitMask);
    }
}
