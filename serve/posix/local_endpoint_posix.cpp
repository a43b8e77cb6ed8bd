// serve's local endpoint on POSIX: a Unix-domain socket named after the
// device, in serve's runtime folder. Those who may open the device may use
// it, no one else: the socket's mode and group follow the device's, and
// each peer's credentials are checked against the device's permissions on
// accept. One thread polls the socket and every client; replies come back
// from the line thread through a pipe that wakes the poll.
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "local_endpoint.h"
#include "log_text.h"
#include "port_names.h"
#include "shared_line_endpoint.h"
#include "shared_line_protocol.h"
#include "shared_line_trust.h"
#include "stop_request.h"

#ifndef SO_PEERGROUPS
#define SO_PEERGROUPS 59
#endif

namespace {

using Clock = std::chrono::steady_clock;

struct Peer {
    uid_t uid = 0;
    gid_t gid = 0;
    pid_t pid = 0;
    std::vector<gid_t> groups;
};

Peer PeerOf(int fd)
{
    Peer peer;
    ucred cred{};
    socklen_t length = sizeof cred;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &length) == 0) {
        peer.uid = cred.uid;
        peer.gid = cred.gid;
        peer.pid = cred.pid;
    }
    else
        peer.uid = static_cast<uid_t>(-1);
    gid_t groups[256];
    socklen_t size = sizeof groups;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERGROUPS, groups, &size) == 0)
        peer.groups.assign(groups, groups + size / sizeof(gid_t));
    return peer;
}

// Whether the peer could open the device for reading and writing itself.
bool MayOpen(const Peer& peer, const struct stat& device)
{
    if (peer.uid == static_cast<uid_t>(-1))
        return false;
    if (peer.uid == 0 || peer.uid == geteuid())
        return true;
    const mode_t rw = device.st_mode;
    if (peer.uid == device.st_uid)
        return (rw & S_IRUSR) && (rw & S_IWUSR);
    const bool inGroup = peer.gid == device.st_gid
                         || std::find(peer.groups.begin(), peer.groups.end(), device.st_gid) != peer.groups.end();
    if (inGroup)
        return (rw & S_IRGRP) && (rw & S_IWGRP);
    return (rw & S_IROTH) && (rw & S_IWOTH);
}

std::string Describe(const Peer& peer)
{
    std::string who = "user ";
    passwd entry{};
    passwd* found = nullptr;
    char buffer[1024];
    if (getpwuid_r(peer.uid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        who += std::string(found->pw_name) + " (uid " + std::to_string(peer.uid) + ")";
    else
        who += "uid " + std::to_string(peer.uid);
    if (peer.pid > 0) {
        who += ", process " + std::to_string(peer.pid);
        std::ifstream comm("/proc/" + std::to_string(peer.pid) + "/comm");
        std::string name;
        // Any process may name itself: the name is shown escaped, so that it
        // can never pose as another writer in the log or the audit.
        if (std::getline(comm, name) && !name.empty())
            who += " (" + LogText(name, 64) + ")";
    }
    return who;
}

// The whole of message to a client, waiting at most a second for room.
bool SendWhole(int fd, const std::string& message)
{
    std::size_t sent = 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(1);
    while (sent < message.size()) {
        const ssize_t n = send(fd, message.data() + sent, message.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd pfd{fd, POLLOUT, 0};
        (void)poll(&pfd, 1, static_cast<int>(left));
    }
    return true;
}

struct Client {
    unsigned long id;
    std::uint64_t session; // in the exchange queue
    int fd;
    std::string who;
    uid_t uid;
    std::string pending;       // bytes of a request not yet complete
    Clock::time_point firstByte; // of the pending request
    bool inFlight = false;
    Clock::time_point lastActive; // connected, or last answered
};

} // namespace

struct LocalEndpoint::Impl {
    ExchangeQueue& queue;
    std::string path;
    std::string devicePath;
    struct stat device {};
    int listenFd = -1;
    int wake[2] = {-1, -1};
    std::atomic<bool> stopping{false};
    std::thread thread;
    std::vector<Client> clients;
    unsigned long nextId = 1;

    std::mutex answersMutex;
    std::vector<std::pair<unsigned long, std::string>> answers;

    RefusalLog& log;

    struct ProgramRequest {
        unsigned long client = 0;
        std::string text;
        std::string who;
    };
    LocalEndpoint::ProgramHandler programs;
    std::mutex programsMutex;
    std::condition_variable programsChanged;
    std::deque<ProgramRequest> programRequests;
    std::thread programThread;

    Impl(ExchangeQueue& q, RefusalLog& l) : queue(q), log(l) {}
    // Whatever Start got as far as opening, and Stop leaves.
    ~Impl()
    {
        for (int fd : {listenFd, wake[0], wake[1]})
            if (fd >= 0)
                close(fd);
    }

    void Wake()
    {
        const char byte = 0;
        (void)!write(wake[1], &byte, 1);
    }

    void Refuse(int fd, uid_t uid, const std::string& who, const std::string& why)
    {
        log.Refusal("uid " + std::to_string(uid), "korvanthine-ctl: local client " + who + " refused: " + why);
        const std::string message = shared_line::RefusalMessage(why);
        (void)send(fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        close(fd);
    }

    void Accept()
    {
        const int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0)
            return;
        const Peer peer = PeerOf(fd);
        const std::string who = Describe(peer);
        if (!MayOpen(peer, device))
            return Refuse(fd, peer.uid, who, "not allowed to open " + devicePath);
        if (static_cast<int>(clients.size()) >= LocalEndpoint::kMaxClients && !YieldIdlePlace()
            && !YieldPlaceOfBusiestUser(PlacesOf(peer.uid)))
            return Refuse(fd, peer.uid, who, "too many programs share this line (" + std::to_string(LocalEndpoint::kMaxClients) + ")");
        const char accepted = shared_line::kAccepted;
        if (send(fd, &accepted, 1, MSG_NOSIGNAL | MSG_DONTWAIT) != 1) {
            close(fd);
            return;
        }
        clients.push_back({nextId++, queue.NewSession(), fd, who, peer.uid, "", Clock::time_point(), false, Clock::now()});
    }

    int PlacesOf(uid_t uid) const
    {
        return static_cast<int>(std::count_if(clients.begin(), clients.end(), [uid](const Client& c) { return c.uid == uid; }));
    }

    void Evict(std::vector<Client>::iterator client, const std::string& why)
    {
        const std::string message = shared_line::RefusalMessage(why);
        (void)send(client->fd, message.data(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        close(client->fd);
        clients.erase(client);
    }

    // With every place taken by others' programs: the least active program
    // of the user who holds the most places gives way, when that user holds
    // more than the newcomer's would after. One with an exchange under way
    // is passed over, so that no answer from the line is lost.
    bool YieldPlaceOfBusiestUser(int newcomersOwn)
    {
        uid_t busiest = 0;
        int most = 0;
        for (const Client& c : clients)
            if (const int places = PlacesOf(c.uid); places > most) {
                most = places;
                busiest = c.uid;
            }
        if (most <= newcomersOwn + 1)
            return false;
        auto quietest = clients.end();
        for (auto c = clients.begin(); c != clients.end(); ++c)
            if (c->uid == busiest && !c->inFlight && c->pending.empty()
                && (quietest == clients.end() || c->lastActive < quietest->lastActive))
                quietest = c;
        if (quietest == clients.end())
            return false;
        log.Refusal("uid " + std::to_string(busiest), "korvanthine-ctl: local client " + quietest->who
                        + " gave its place to another user's program: its user held " + std::to_string(most)
                        + " of the " + std::to_string(LocalEndpoint::kMaxClients) + " places");
        Evict(quietest, "the place went to another user's program: this user's programs held " + std::to_string(most)
                            + " of the " + std::to_string(LocalEndpoint::kMaxClients) + " places on this line");
        return true;
    }

    // Frees the place of the client idle longest, if one has been idle long
    // enough; false when none has.
    bool YieldIdlePlace()
    {
        const auto idleEnough = Clock::now() - std::chrono::milliseconds(LocalEndpoint::kIdleYieldsPlaceMs);
        auto oldest = clients.end();
        for (auto c = clients.begin(); c != clients.end(); ++c)
            if (!c->inFlight && c->pending.empty() && c->lastActive <= idleEnough
                && (oldest == clients.end() || c->lastActive < oldest->lastActive))
                oldest = c;
        if (oldest == clients.end())
            return false;
        // Not logged: a panel left open on a busy bench would fill the log.
        Evict(oldest, std::string(shared_line::kIdleReason) + " the place went to another program");
        return true;
    }

    // False when the client is to go (refused or gone).
    bool Read(Client& client)
    {
        char buffer[256];
        const ssize_t got = recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) {
            close(client.fd);
            return false;
        }
        if (got < 0)
            return true;
        if (client.pending.empty())
            client.firstByte = Clock::now();
        client.pending.append(buffer, static_cast<std::size_t>(got));
        if (client.inFlight) {
            Refuse(client.fd, client.uid, client.who, "one exchange at a time: a request came before the last one's reply");
            return false;
        }
        if (client.pending[0] == shared_line::kProgramRequest)
            return ReadProgramRequest(client);
        const std::size_t length = static_cast<unsigned char>(client.pending[0]);
        if (length == 0 || length > shared_line::kMaxRequestFrame) {
            Refuse(client.fd, client.uid, client.who, "not a request frame of the command set");
            return false;
        }
        if (client.pending.size() < 1 + length)
            return true;
        if (client.pending.size() > 1 + length) {
            Refuse(client.fd, client.uid, client.who, "one exchange at a time: a request came before the last one's reply");
            return false;
        }
        std::string frame = client.pending.substr(1);
        client.pending.clear();
        if (!shared_line::IsCommandSetRequest(frame)) {
            Refuse(client.fd, client.uid, client.who, "not a request frame of the command set");
            return false;
        }
        client.inFlight = true;
        const unsigned long id = client.id;
        ExchangeRequest request{std::move(frame), client.who, client.session, "uid " + std::to_string(client.uid)};
        queue.Submit(std::move(request), [this, id](const ExchangeResult& result) {
            {
                std::lock_guard<std::mutex> lock(answersMutex);
                answers.emplace_back(id, result.refused.empty() ? shared_line::AnswerMessage(result.reply.data(),
                                                                                             result.reply.size(),
                                                                                             result.waiting)
                                                                : shared_line::WriteRefusedMessage(result.refused));
            }
            Wake();
        });
        return true;
    }

    // A program command: whole, it goes to the programs' own thread, since
    // a command waits for the line's next pass and must not hold up the
    // other clients.
    bool ReadProgramRequest(Client& client)
    {
        if (client.pending.size() < shared_line::kProgramHeaderSize)
            return true;
        const std::size_t length = shared_line::ProgramLength(client.pending.data() + 1);
        if (length > shared_line::kMaxProgramText) {
            Refuse(client.fd, client.uid, client.who, "a program command longer than "
                                                          + std::to_string(shared_line::kMaxProgramText) + " bytes");
            return false;
        }
        if (client.pending.size() < shared_line::kProgramHeaderSize + length)
            return true;
        if (client.pending.size() > shared_line::kProgramHeaderSize + length) {
            Refuse(client.fd, client.uid, client.who, "one exchange at a time: a request came before the last one's reply");
            return false;
        }
        client.inFlight = true;
        {
            std::lock_guard<std::mutex> lock(programsMutex);
            programRequests.push_back({client.id, client.pending.substr(shared_line::kProgramHeaderSize), client.who});
        }
        client.pending.clear();
        programsChanged.notify_one();
        return true;
    }

    void AnswerProgramRequests()
    {
        for (;;) {
            ProgramRequest request;
            {
                std::unique_lock<std::mutex> lock(programsMutex);
                programsChanged.wait(lock, [this] { return stopping || !programRequests.empty(); });
                if (stopping)
                    return;
                request = std::move(programRequests.front());
                programRequests.pop_front();
            }
            std::pair<int, std::string> answer{501, "{\"errors\":[\"this serve runs no programs\"]}"};
            if (programs)
                answer = programs(request.text, request.who);
            {
                std::lock_guard<std::mutex> lock(answersMutex);
                answers.emplace_back(request.client, shared_line::ProgramAnswerMessage(answer.first, answer.second));
            }
            Wake();
        }
    }

    void DeliverAnswers()
    {
        char drain[64];
        while (read(wake[0], drain, sizeof drain) > 0) {
        }
        std::vector<std::pair<unsigned long, std::string>> ready;
        {
            std::lock_guard<std::mutex> lock(answersMutex);
            ready.swap(answers);
        }
        for (const auto& [id, answer] : ready) {
            auto client = std::find_if(clients.begin(), clients.end(), [id = id](const Client& c) { return c.id == id; });
            if (client == clients.end())
                continue; // it left meanwhile
            client->inFlight = false;
            client->lastActive = Clock::now();
            // 15 bytes to a socket with one request's room: it never blocks
            // unless the client is gone. A program's answer may be longer:
            // it waits a moment for room, bounded.
            if (!SendWhole(client->fd, answer)) {
                close(client->fd);
                clients.erase(client);
            }
        }
    }

    void Run()
    {
        std::vector<pollfd> fds;
        while (!stopping) {
            fds.clear();
            fds.push_back({wake[0], POLLIN, 0});
            fds.push_back({listenFd, POLLIN, 0});
            int timeoutMs = 1000;
            const Clock::time_point now = Clock::now();
            for (const Client& c : clients) {
                fds.push_back({c.fd, POLLIN, 0});
                if (!c.pending.empty()) {
                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        c.firstByte + std::chrono::milliseconds(LocalEndpoint::kRequestCompleteMs) - now).count();
                    timeoutMs = std::max(0, std::min(timeoutMs, static_cast<int>(left) + 1));
                }
            }
            if (poll(fds.data(), fds.size(), timeoutMs) < 0 && errno != EINTR)
                break;
            log.Tick();
            if (stopping)
                break;
            // Clients first, by their place in fds; new ones and answers after.
            std::vector<unsigned long> gone;
            for (std::size_t i = 2; i < fds.size(); ++i) {
                Client& c = clients[i - 2];
                if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR)) && !Read(c))
                    gone.push_back(c.id);
                else if (!c.pending.empty()
                         && Clock::now() - c.firstByte > std::chrono::milliseconds(LocalEndpoint::kRequestCompleteMs)) {
                    Refuse(c.fd, c.uid, c.who, "request incomplete after " + std::to_string(LocalEndpoint::kRequestCompleteMs) + " ms");
                    gone.push_back(c.id);
                }
            }
            clients.erase(std::remove_if(clients.begin(), clients.end(),
                                         [&gone](const Client& c) {
                                             return std::find(gone.begin(), gone.end(), c.id) != gone.end();
                                         }),
                          clients.end());
            if (fds[0].revents & POLLIN)
                DeliverAnswers();
            if (fds[1].revents & POLLIN)
                Accept();
        }
        for (const Client& c : clients)
            close(c.fd);
        clients.clear();
    }
};

LocalEndpoint::LocalEndpoint(ExchangeQueue& queue, RefusalLog& log) : queue_(queue), log_(log) {}

LocalEndpoint::~LocalEndpoint()
{
    Stop();
}

bool LocalEndpoint::Start(const std::string& port)
{
    const std::string device = port.find('/') != std::string::npos ? port : DevicePathForPort(port);
    const std::string name = SharedLineSocketName(device);
    const std::string folder = ServeSocketFolder();
    auto impl = std::make_unique<Impl>(queue_, log_);
    if (name.empty() || stat(device.c_str(), &impl->device) != 0)
        return false;
    if (folder.empty()) {
        std::fprintf(stderr, "korvanthine-ctl: no runtime folder (neither RUNTIME_DIRECTORY nor XDG_RUNTIME_DIR is set): "
                             "other programs cannot use %s while serve holds it\n", port.c_str());
        return false;
    }
    (void)mkdir(folder.c_str(), 0755);
    // Clients refuse an endpoint in such a folder (anyone could have put it
    // there), so serve keeps the line to itself rather than offer it there.
    const std::string open = FolderOthersMayWrite(folder);
    if (!open.empty()) {
        std::fprintf(stderr, "korvanthine-ctl: others may write the runtime folder %s: other programs cannot use %s "
                             "while serve holds it\n", open.c_str(), port.c_str());
        return false;
    }
    impl->path = folder + "/" + name;
    char real[PATH_MAX];
    impl->devicePath = realpath(device.c_str(), real) != nullptr ? real : device;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (impl->path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, impl->path.c_str(), impl->path.size() + 1);

    impl->listenFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (impl->listenFd < 0 || pipe2(impl->wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return false;
    // serve holds the device exclusively, so a socket already there was left by one that was killed.
    (void)unlink(impl->path.c_str());
    // Born with the mode it keeps: owner and the device's group, no one else.
    const mode_t previous = umask(0117);
    const bool bound = bind(impl->listenFd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    umask(previous);
    if (!bound || listen(impl->listenFd, LocalEndpoint::kMaxClients) != 0) {
        std::fprintf(stderr, "korvanthine-ctl: cannot offer %s to other programs at %s: %s\n", port.c_str(),
                     impl->path.c_str(), std::strerror(errno));
        return false;
    }
    // What was bound is what gets the group: never whatever a link there
    // would lead to.
    struct stat made {};
    if (lstat(impl->path.c_str(), &made) != 0 || !S_ISSOCK(made.st_mode) || made.st_uid != geteuid()) {
        std::fprintf(stderr, "korvanthine-ctl: cannot offer %s to other programs: %s is not the socket serve made\n",
                     port.c_str(), impl->path.c_str());
        return false;
    }
    // The device's group may use it, as it may use the device (a group of
    // our own, or the service's: changing to another is refused and harmless).
    (void)!fchownat(AT_FDCWD, impl->path.c_str(), static_cast<uid_t>(-1), impl->device.st_gid, AT_SYMLINK_NOFOLLOW);
    std::fprintf(stderr, "korvanthine-ctl: other programs share %s through %s\n", port.c_str(), impl->path.c_str());
    Impl* running = impl.get();
    impl->programs = programs_;
    impl->thread = StartThreadWithoutStopSignals([running] { running->Run(); });
    impl->programThread = StartThreadWithoutStopSignals([running] { running->AnswerProgramRequests(); });
    impl_ = std::move(impl);
    return true;
}

void LocalEndpoint::Stop()
{
    if (!impl_)
        return;
    {
        std::lock_guard<std::mutex> lock(impl_->programsMutex);
        impl_->stopping = true;
    }
    impl_->programsChanged.notify_all();
    impl_->Wake();
    impl_->thread.join();
    impl_->programThread.join();
    unlink(impl_->path.c_str());
    impl_.reset();
}
