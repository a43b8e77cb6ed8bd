// korvanthine-ctl through the serve that holds the port: the same statuses
// as on a free port under faults, nothing written that was not read, every
// write audited; local clients that misbehave cost serve's passes and
// scrapes nothing; a user who may not open the device is refused.
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/prctl.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>

#include "comm_port.h"
#include "commands.h"
#include "exchange.h"
#include "frame_codec.h"
#include "runtime_folder.h"
#include "serve_over_sim.h"
#include "shared_line.h"
#include "shared_line_endpoint.h"
#include "shared_line_protocol.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// serve with its runtime folder in a folder of the test's own.
class SharedLine : public ServeOverSim {
protected:
    void SetUp() override
    {
        ServeOverSim::SetUp();
        ASSERT_FALSE(runtime_.Path().empty());
        socket_ = runtime_.Endpoints() + "/" + SharedLineSocketName(sim_->DevicePath());
    }
    void TearDown() override
    {
        StopServe();
        ServeOverSim::TearDown();
    }

    // serve on COM1; returns once its endpoint is there.
    void StartSharing(const char* interval, const std::vector<std::string>& more = {})
    {
        std::vector<std::string> args{"serve", "-p", "COM1", "--interval", interval};
        args.insert(args.end(), more.begin(), more.end());
        StartServe(args);
        struct stat info;
        for (const auto end = Clock::now() + milliseconds(5000); stat(socket_.c_str(), &info) != 0 && Clock::now() < end;)
            std::this_thread::sleep_for(milliseconds(10));
        ASSERT_EQ(stat(socket_.c_str(), &info), 0) << serve_->Finish(0).err;
    }
    CtlResult StopServe()
    {
        if (!serve_)
            return {};
        serve_->Interrupt();
        CtlResult result = serve_->Finish(15000);
        serve_.reset();
        return result;
    }

    // A raw connection to serve's endpoint; -1 when refused.
    int Connect() const
    {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket_.c_str(), sizeof address.sun_path - 1);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            close(fd);
            return -1;
        }
        return fd;
    }

    ScopedRuntimeFolder runtime_;
    std::string socket_;
};

// Everything the peer sends until it closes or timeoutMs passes.
std::string ReadUntilClosed(int fd, int timeoutMs)
{
    std::string text;
    const auto deadline = Clock::now() + milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        pollfd pfd{fd, POLLIN, 0};
        if (left <= 0 || poll(&pfd, 1, static_cast<int>(left)) <= 0)
            return text;
        char chunk[256];
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got <= 0)
            return text;
        text.append(chunk, static_cast<std::size_t>(got));
    }
}

std::string Request(const std::string& frame)
{
    return std::string(1, static_cast<char>(frame.size())) + frame;
}

// A user outside the simulator's device's group, made once (needs root).
const passwd* Outsider()
{
    if (geteuid() != 0)
        return nullptr;
    if (getpwnam("korvanthine-outsider") == nullptr
        && std::system("useradd --system --no-create-home --shell /usr/sbin/nologin korvanthine-outsider") != 0)
        return nullptr;
    return getpwnam("korvanthine-outsider");
}

bool IsWrite(const std::string& request)
{
    return request.rfind("*0020", 0) == 0 || request.rfind("*0031", 0) == 0 || request.rfind("*0036", 0) == 0;
}

// The writes among the simulator's requests, by code, in order.
std::vector<std::string> Writes(const std::vector<std::string>& requests)
{
    std::vector<std::string> writes;
    for (const std::string& request : requests)
        if (IsWrite(request))
            writes.push_back(request.substr(0, 5));
    return writes;
}

// korvanthine-ctl run as user: its exit status (-1 when it did not end
// normally) and what it wrote on standard error.
std::pair<int, std::string> RunCtlAs(const passwd& user, const std::vector<std::string>& args)
{
    const uid_t uid = user.pw_uid;
    const gid_t gid = user.pw_gid;
    int err[2];
    if (pipe(err) != 0)
        return {-1, "no pipe"};
    std::vector<const char*> argv{KORVANTHINE_CTL_PATH};
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        dup2(err[1], 2);
        if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
            _exit(99);
        execv(KORVANTHINE_CTL_PATH, const_cast<char* const*>(argv.data()));
        _exit(98);
    }
    close(err[1]);
    const std::string text = ReadUntilClosed(err[0], 20000);
    close(err[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

TEST_F(SharedLine, SetAndWatchThroughServeEndAsOnAFreePortAndEveryWriteIsAudited)
{
    const std::vector<std::string> set{"set", "-p", "COM1", "-c", "2", "-t", "31.5", "--output", "enable"};
    const std::vector<std::string> watch{"watch", "-p", "COM1", "-n", "2", "-i", "0.2", "-f", "csv"};
    // A silent line on a free port ends watch with status 4 after two read
    // bounds (CtlFaults has it); everything else is run on the free port here.
    for (const char* fault : {"garbage", "silence", "none"}) {
        SCOPED_TRACE(fault);
        const bool silent = std::string(fault) == "silence";
        Command(std::string("fault ") + fault);
        Command("clearlog");
        const CtlResult freeSet = RunCtl(set);
        const std::vector<std::string> freeWrites = Writes(sim_->Requests());
        const CtlResult freeWatch = silent ? CtlResult{4, "", ""} : RunCtl(watch);
        Command("set setpoint 1 250"); // back to 25.0, so that the write shows again

        StartSharing("0.25");
        Command("clearlog");
        // Both at once: their exchanges share the line with serve's and each other's.
        auto viaSet = std::async(std::launch::async, [&] { return RunCtl(set, {}, 90000); });
        auto viaWatch = std::async(std::launch::async, [&] { return RunCtl(watch, {}, 90000); });
        const CtlResult sharedSet = viaSet.get();
        const CtlResult sharedWatch = viaWatch.get();
        EXPECT_EQ(sharedSet.status, freeSet.status) << sharedSet.err;
        EXPECT_EQ(sharedWatch.status, freeWatch.status) << sharedWatch.err;
        EXPECT_EQ(sharedSet.out, freeSet.out);
        if (!silent) {
            EXPECT_EQ(sharedWatch.out.substr(0, sharedWatch.out.find('\n')), freeWatch.out.substr(0, freeWatch.out.find('\n')));
        }

        // Every request arrived whole, and set wrote what it writes on a free port.
        for (const std::string& request : sim_->Requests())
            EXPECT_TRUE(shared_line::IsCommandSetRequest(request)) << request;
        EXPECT_EQ(Writes(sim_->Requests()), freeWrites);
        if (std::string(fault) != "none") {
            StopServe();
            continue;
        }
        EXPECT_EQ(freeWrites, (std::vector<std::string>{"*0020", "*0031", "*0036"}));
        // The page shows it after the next pass, and the counter has it.
        const auto samples = ScrapeUntil([](const auto& s) {
            return s.count("korvanthine_set_temperature_celsius{channel=\"2\"}")
                   && s.at("korvanthine_set_temperature_celsius{channel=\"2\"}") == "31.5";
        });
        ASSERT_FALSE(samples.empty());
        EXPECT_EQ(samples.at("korvanthine_settings_written_total{channel=\"2\",setting=\"set_temperature\"}"), "1");
        EXPECT_EQ(samples.at("korvanthine_settings_written_total{channel=\"2\",setting=\"output_enable\"}"), "1");
        EXPECT_EQ(samples.at("korvanthine_settings_written_total{channel=\"1\",setting=\"set_temperature\"}"), "0");
        const CtlResult served = StopServe();
        EXPECT_NE(served.err.find("channel 2 set temperature 31.5 °C (*00310000013b7a): answered"), std::string::npos)
            << served.err;
        EXPECT_NE(served.err.find("(korvanthine-ctl): channel 2 output enable 1"), std::string::npos) << served.err;
    }
}

TEST_F(SharedLine, MisbehavingLocalClientsAreToldWhyAndCostServeNothing)
{
    constexpr double kInterval = 0.25;
    StartSharing("0.25");
    ASSERT_FALSE(ScrapeUntil([](const auto& s) { return s.count("korvanthine_up") && s.at("korvanthine_up") == "1"; }).empty());
    const CtlResult ports = RunCtl({"ports"});
    EXPECT_NE(ports.out.find("\nCOM1   shared     " + sim_->DevicePath()), std::string::npos) << ports.out;
    EXPECT_NE(ports.out.find("A shared port is held by korvanthine-ctl serve"), std::string::npos) << ports.out;
    const std::string version = "*0000c0\r";
    const struct {
        const char* what;
        std::string bytes;
        const char* reason;
    } refused[] = {
        {"not a frame", "\x05hello", "not a request frame of the command set"},
        {"unknown code", Request("*0099000000007b\r"), "not a request frame of the command set"},
        {"wrong checksum", Request("*0000c1\r"), "not a request frame of the command set"},
        {"stalled mid-request", Request(version).substr(0, 4), "request incomplete after 1000 ms"},
        {"two at once", Request(version) + Request(version), "one exchange at a time"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.what);
        const int fd = Connect();
        ASSERT_GE(fd, 0);
        send(fd, r.bytes.data(), r.bytes.size(), MSG_NOSIGNAL);
        const std::string answer = ReadUntilClosed(fd, 3000);
        close(fd);
        // Accepted, then the refusal and the end.
        const std::size_t at = answer.find(shared_line::kRefused, 1);
        ASSERT_NE(at, std::string::npos) << answer;
        EXPECT_NE(answer.find(r.reason, at), std::string::npos) << answer;
    }

    // While some clients hold every place and one floods the line with
    // exchanges, serve keeps its passes and scrapes answer at once.
    std::vector<int> idle;
    for (int i = 0; i < 7; ++i)
        idle.push_back(Connect());
    std::atomic<bool> flooding{true};
    std::atomic<int> floodAnswers{0};
    std::atomic<int> floodFaults{0};
    std::thread flood([&] {
        const int fd = Connect();
        char greeting = 0;
        if (fd < 0 || recv(fd, &greeting, 1, 0) != 1)
            return ++floodFaults, void();
        while (flooding) {
            const std::string request = Request(version);
            char answer[shared_line::kAnswerSize];
            if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())
                || recv(fd, answer, sizeof answer, MSG_WAITALL) != static_cast<ssize_t>(sizeof answer)
                || answer[0] != shared_line::kExchanged || answer[1] != 12)
                return ++floodFaults, void();
            ++floodAnswers;
        }
        close(fd);
    });
    std::this_thread::sleep_for(milliseconds(200));
    // The ninth is one too many.
    const int extra = Connect();
    const std::string tooMany = ReadUntilClosed(extra, 3000);
    close(extra);
    EXPECT_NE(tooMany.find("too many programs share this line (8)"), std::string::npos) << tooMany;

    const auto first = Scrape();
    const Clock::time_point firstAt = Clock::now();
    double slowestMs = 0;
    for (int i = 0; i < 12; ++i) {
        const HttpAnswer answer = Get(port_, "/metrics");
        EXPECT_EQ(answer.status, 200);
        slowestMs = std::max(slowestMs, answer.ms);
        std::this_thread::sleep_for(milliseconds(250));
    }
    const auto last = Scrape();
    const double seconds = std::chrono::duration<double>(Clock::now() - firstAt).count();
    flooding = false;
    flood.join();
    for (int fd : idle)
        close(fd);

    EXPECT_EQ(floodFaults.load(), 0);
    EXPECT_GT(floodAnswers.load(), 100);
    EXPECT_LT(slowestMs, 250.0);
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(last.empty());
    const double passes = std::stod(last.at("korvanthine_passes_total")) - std::stod(first.at("korvanthine_passes_total"));
    EXPECT_GE(passes, seconds / kInterval - 2) << seconds << " s";
    EXPECT_LE(passes, seconds / kInterval + 2) << seconds << " s";
    EXPECT_EQ(last.at("korvanthine_up"), "1");
}

TEST_F(SharedLine, AnIdleProgramGivesUpItsPlaceWhenAllAreTakenAndComesBackByItself)
{
    StartSharing("0.25");
    ASSERT_EQ(OpenCommPort("COM1"), 1);
    ASSERT_TRUE(g_bSharedLine);
    std::vector<int> others;
    for (int i = 0; i < 7; ++i)
        others.push_back(Connect());
    std::this_thread::sleep_for(milliseconds(3300));
    // A newcomer takes the place of the one idle longest: this process's link.
    const int newcomer = Connect();
    char greeting = 0;
    ASSERT_EQ(recv(newcomer, &greeting, 1, 0), 1);
    EXPECT_EQ(greeting, shared_line::kAccepted);
    close(others.back());
    others.pop_back();
    std::this_thread::sleep_for(milliseconds(100));
    // The link notices at its next exchange and connects again, unseen.
    EXPECT_EQ(QueryController(CMD_VERSION), 258);
    EXPECT_FALSE(g_bCommError);
    CloseCommPort();
    close(newcomer);
    for (int fd : others)
        close(fd);
}

TEST_F(SharedLine, AUserWhoMayNotOpenTheDeviceIsRefused)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to create and become a second user outside the device's group";
    const passwd* outsider = Outsider();
    ASSERT_NE(outsider, nullptr);
    StartSharing("0.25");
    // Past the file system's guard, so that serve's own check is what
    // refuses: the socket in the outsider's group (one anyone may write to
    // the client itself refuses).
    chmod(runtime_.Path().c_str(), 0755);
    chmod(runtime_.Endpoints().c_str(), 0755);
    ASSERT_EQ(lchown(socket_.c_str(), static_cast<uid_t>(-1), outsider->pw_gid), 0);
    chmod(socket_.c_str(), 0660);

    const auto [status, text] = RunCtlAs(*outsider, {"version", "-p", sim_->DevicePath()});
    EXPECT_EQ(status, 3) << text;
    EXPECT_NE(text.find("refused this program: not allowed to open " + sim_->DevicePath()), std::string::npos) << text;
    EXPECT_NE(StopServe().err.find("user korvanthine-outsider (uid " + std::to_string(outsider->pw_uid) + ")"),
              std::string::npos);
}

// A lab's limits hold for every local writer: a write outside them never
// reaches the line, its writer is told the limit and set exits 6; what is
// inside goes through as before, and what no controller can do is refused
// without any configuration.
TEST_F(SharedLine, NoWriteOutsideTheLabsLimitsReachesTheLine)
{
    const std::string config = runtime_.Path() + "/limits.yml";
    std::ofstream(config) << "korvanthine:\n"
                             "  limits:\n"
                             "    all: {set_temperature_celsius: [0, 200]}\n"
                             "    \"2\": {set_temperature_celsius: [0, 150], output_enable: false}\n";
    StartSharing("0.25", {"--web.config.file", config});
    const struct {
        std::vector<std::string> set;
        int status;
        std::vector<std::string> writes; // on the simulator's line
        const char* said;                // on set's standard error
    } cases[] = {
        {{"-c", "2", "-t", "150.1"}, 6, {"*0020"}, "set temperature 150.1 °C is above channel 2's highest, 150.0 °C"},
        {{"-c", "2", "-t", "150", "--output", "enable"}, 6, {"*0020", "*0031"}, "channel 2's output may not be enabled"},
        {{"-c", "1", "-t", "-0.1"}, 6, {"*0020"}, "set temperature -0.1 °C is below channel 1's lowest, 0.0 °C"},
        {{"-c", "1", "-t", "200", "--output", "enable"}, 0, {"*0020", "*0031", "*0036"}, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"set", "-p", "COM1"};
        args.insert(args.end(), c.set.begin(), c.set.end());
        SCOPED_TRACE(c.set[1] + " " + c.set[3]);
        Command("clearlog");
        const CtlResult result = RunCtl(args);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_NE(result.err.find(c.said), std::string::npos) << result.err;
        EXPECT_EQ(Writes(sim_->Requests()), c.writes);
    }
    const auto samples = ScrapeUntil([](const auto& s) {
        return s.count("korvanthine_settings_refused_total{channel=\"2\",setting=\"output_enable\",reason=\"output_not_allowed\"}");
    });
    ASSERT_FALSE(samples.empty());
    EXPECT_EQ(samples.at("korvanthine_settings_refused_total{channel=\"2\",setting=\"set_temperature\",reason=\"above_highest\"}"), "1");
    EXPECT_EQ(samples.at("korvanthine_settings_refused_total{channel=\"1\",setting=\"set_temperature\",reason=\"below_lowest\"}"), "1");
    const std::string log = StopServe().err;
    EXPECT_NE(log.find("(korvanthine-ctl) refused: set temperature 150.1 °C is above channel 2's highest"), std::string::npos) << log;

    // No configuration: only what no controller can do is refused.
    StartSharing("0.25");
    Command("clearlog");
    const CtlResult cold = RunCtl({"set", "-p", "COM1", "-c", "3", "-t", "-273.2"});
    EXPECT_EQ(cold.status, 6) << cold.err;
    EXPECT_NE(cold.err.find("below absolute zero"), std::string::npos) << cold.err;
    EXPECT_EQ(Writes(sim_->Requests()), (std::vector<std::string>{"*0020"}));
    EXPECT_EQ(RunCtl({"set", "-p", "COM1", "-c", "3", "-t", "999", "--output", "enable"}).status, 0);
}

// A program may name itself anything: in serve's log and audit its name is
// escaped, so it can neither break the line nor move a terminal's cursor
// over the words that name the writer.
TEST_F(SharedLine, AWritersOwnNameCannotForgeTheAuditLine)
{
    StartSharing("0.25");
    const pid_t child = fork();
    if (child == 0) {
        prctl(PR_SET_NAME, "\r\x1b[2Kroot", 0, 0, 0);
        const int fd = Connect();
        char greeting = 0;
        char frame[kFrameBufferSize];
        char answer[shared_line::kAnswerSize];
        if (fd < 0 || recv(fd, &greeting, 1, 0) != 1)
            _exit(1);
        for (const auto& [code, value] : {std::pair<const char*, int>{CMD_SELECT_CHANNEL, 0}, {CMD_WRITE_SETPOINT, 300}}) {
            BuildWriteFrame(code, value, frame);
            const std::string request = Request(frame);
            if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())
                || recv(fd, answer, sizeof answer, MSG_WAITALL) != static_cast<ssize_t>(sizeof answer))
                _exit(2);
        }
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string log = StopServe().err;
    EXPECT_NE(log.find("(\\x0D\\x1B[2Kroot): channel 1 set temperature 30.0 °C"), std::string::npos) << log;
    EXPECT_EQ(log.find('\r'), std::string::npos);
    EXPECT_EQ(log.find('\x1b'), std::string::npos);
}

// One user's programs may fill every place while nobody else needs one,
// but another user's program still gets in: the least active program of
// the user holding the most places gives way, and is told why.
TEST_F(SharedLine, OneUserFillingEveryPlaceNeverKeepsAnotherUserOut)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to create and become a second user";
    const passwd* other = Outsider();
    ASSERT_NE(other, nullptr);
    // The second user may use the device, as a member of its group would.
    chmod(sim_->DevicePath().c_str(), 0666);
    StartSharing("0.25");
    chmod(runtime_.Path().c_str(), 0755);
    chmod(runtime_.Endpoints().c_str(), 0755);
    ASSERT_EQ(lchown(socket_.c_str(), static_cast<uid_t>(-1), other->pw_gid), 0);
    chmod(socket_.c_str(), 0660);
    std::vector<int> mine;
    for (int i = 0; i < 8; ++i) {
        const int fd = Connect();
        char greeting = 0;
        ASSERT_TRUE(fd >= 0 && recv(fd, &greeting, 1, 0) == 1 && greeting == shared_line::kAccepted) << i;
        mine.push_back(fd);
    }
    const auto [status, text] = RunCtlAs(*other, {"get", "-p", sim_->DevicePath(), "-c", "1"});
    EXPECT_EQ(status, 0) << text;
    std::string told;
    for (int fd : mine) {
        pollfd pfd{fd, POLLIN, 0};
        if (poll(&pfd, 1, 0) == 1)
            told += ReadUntilClosed(fd, 1000);
        close(fd);
    }
    EXPECT_NE(told.find("the place went to another user's program"), std::string::npos) << told;
}

// Plays serve at path, as an endpoint a stranger could have planted: it
// accepts, says 'A', and carries each request out on the device itself
// through this process's link, opened at the first request. Counts what
// reached it.
class PlantedEndpoint {
public:
    explicit PlantedEndpoint(const std::string& path) : path_(path)
    {
        listen_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        if (bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            return;
        bound_ = true;
    }
    ~PlantedEndpoint()
    {
        ending_ = true;
        if (thread_.joinable())
            thread_.join();
        if (holder_ > 0) {
            kill(holder_, SIGKILL);
            waitpid(holder_, nullptr, 0);
        }
        close(listen_);
        unlink(path_.c_str());
        if (g_hComm != kNoPort)
            CloseCommPort();
        UseSharedLines(true);
    }
    // Listens and answers from this process.
    bool Serve()
    {
        if (!bound_ || listen(listen_, 4) != 0)
            return false;
        thread_ = std::thread([this] { Run(); });
        return true;
    }
    // Listens as another user, who never answers: a peer that is not serve.
    bool ListenAs(uid_t uid, gid_t gid)
    {
        if (!bound_)
            return false;
        int ready[2];
        if (pipe(ready) != 0)
            return false;
        holder_ = fork();
        if (holder_ == 0) {
            // The peer's credentials are the listener's when it called listen().
            if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0 || listen(listen_, 4) != 0)
                _exit(1);
            (void)!write(ready[1], "L", 1);
            pause();
            _exit(0);
        }
        close(ready[1]);
        char said = 0;
        const bool listening = holder_ > 0 && read(ready[0], &said, 1) == 1;
        close(ready[0]);
        return listening;
    }
    int Connections() const { return connections_; }
    int Requests() const { return requests_; }

private:
    void Run()
    {
        while (!ending_) {
            pollfd pfd{listen_, POLLIN, 0};
            if (poll(&pfd, 1, 20) <= 0)
                continue;
            const int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            ++connections_;
            send(fd, &shared_line::kAccepted, 1, MSG_NOSIGNAL);
            for (;;) {
                unsigned char length = 0;
                char frame[256] = {};
                if (recv(fd, &length, 1, MSG_WAITALL) != 1 || recv(fd, frame, length, MSG_WAITALL) != length)
                    break;
                ++requests_;
                if (g_hComm == kNoPort) {
                    UseSharedLines(false);
                    OpenCommPort("COM1");
                }
                ExchangeFrame(frame);
                const std::string answer = shared_line::AnswerMessage(g_szLastReply, g_nLastReplyLength, InputBytesWaiting());
                send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
            }
            close(fd);
        }
    }

    std::string path_;
    int listen_ = -1;
    bool bound_ = false;
    pid_t holder_ = 0;
    std::atomic<bool> ending_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

TEST_F(SharedLine, AnEndpointAStrangerCouldHaveMadeIsNotUsedAndTheDeviceNotOpenedBesideIt)
{
    const passwd* outsider = Outsider();
    const uid_t nobody = outsider != nullptr ? outsider->pw_uid : static_cast<uid_t>(-1);
    const gid_t nobodyGroup = outsider != nullptr ? outsider->pw_gid : static_cast<gid_t>(-1);
    const struct {
        const char* what;
        mode_t above;  // $XDG_RUNTIME_DIR
        mode_t folder; // the endpoint's folder in it
        mode_t socket;
        uid_t socketOwner; // -1: the test's own
        uid_t folderOwner;
        uid_t peer; // listens as this user; -1: the test answers itself
        const char* reason; // "" when the endpoint is used
    } cases[] = {
        {"a private folder", 0700, 0700, 0660, uid_t(-1), uid_t(-1), uid_t(-1), ""},
        {"a folder anyone may write", 0700, 0777, 0660, uid_t(-1), uid_t(-1), uid_t(-1), "is in a folder others may write"},
        {"a sticky folder anyone may write", 0700, 01777, 0660, uid_t(-1), uid_t(-1), uid_t(-1), "is in a folder others may write"},
        {"a folder its group may write", 0700, 0770, 0660, uid_t(-1), uid_t(-1), uid_t(-1), "is in a folder others may write"},
        {"in a runtime folder anyone may write", 0777, 0700, 0660, uid_t(-1), uid_t(-1), uid_t(-1),
         "is in a folder inside one others may write"},
        {"a socket anyone may write to", 0700, 0700, 0666, uid_t(-1), uid_t(-1), uid_t(-1), "is a socket anyone may write to"},
        {"a stranger's socket", 0700, 0700, 0660, nobody, uid_t(-1), uid_t(-1), "belongs to user korvanthine-outsider"},
        {"a stranger's folder", 0700, 0700, 0660, uid_t(-1), nobody, uid_t(-1), "is in a folder of user korvanthine-outsider"},
        {"a stranger listening", 0700, 0700, 0660, uid_t(-1), uid_t(-1), nobody, "is served by user korvanthine-outsider"},
    };
    const std::vector<std::string> set{"set", "-c", "2", "--temp", "55.5", "--output", "enable", "-p", "COM1"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const bool stranger = c.socketOwner != uid_t(-1) || c.folderOwner != uid_t(-1) || c.peer != uid_t(-1);
        if (stranger && outsider == nullptr) {
            std::printf("skipped without root: %s\n", c.what);
            continue;
        }
        mkdir(runtime_.Endpoints().c_str(), 0700);
        PlantedEndpoint planted(socket_);
        ASSERT_TRUE(c.peer == uid_t(-1) ? planted.Serve() : planted.ListenAs(c.peer, nobodyGroup));
        chmod(socket_.c_str(), c.socket);
        if (c.socketOwner != uid_t(-1)) {
            ASSERT_EQ(lchown(socket_.c_str(), c.socketOwner, static_cast<gid_t>(-1)), 0);
        }
        if (c.folderOwner != uid_t(-1)) {
            ASSERT_EQ(chown(runtime_.Endpoints().c_str(), c.folderOwner, static_cast<gid_t>(-1)), 0);
        }
        chmod(runtime_.Endpoints().c_str(), c.folder);
        chmod(runtime_.Path().c_str(), c.above);
        Command("clearlog");

        const CtlResult result = RunCtl(set);
        chmod(runtime_.Path().c_str(), 0700);
        if (*c.reason == '\0') {
            EXPECT_EQ(result.status, 0) << result.err;
            EXPECT_GT(planted.Requests(), 0);
            EXPECT_EQ(Writes(sim_->Requests()), (std::vector<std::string>{"*0020", "*0031", "*0036"}));
            EXPECT_EQ(result.err.find("not using it"), std::string::npos) << result.err;
        } else {
            EXPECT_EQ(result.status, 3) << result.err;
            EXPECT_NE(result.err.find("COM1: the endpoint " + socket_ + " " + c.reason), std::string::npos) << result.err;
            EXPECT_NE(result.err.find("; not using it"), std::string::npos) << result.err;
            EXPECT_NE(result.err.find("cannot open COM1 = " + sim_->DevicePath()), std::string::npos) << result.err;
            EXPECT_NE(result.err.find("not opened beside an endpoint this program does not trust"), std::string::npos)
                << result.err;
            EXPECT_EQ(planted.Requests(), 0);
            // Nor was the device opened beside it.
            EXPECT_TRUE(sim_->Requests().empty());
        }
        Command("set setpoint 1 250"); // back to 25.0, so that the next write shows
    }
}

TEST_F(SharedLine, ServeSharesNothingFromARuntimeFolderOthersMayWrite)
{
    for (const mode_t mode : {mode_t(0777), mode_t(0770), mode_t(01777)}) {
        SCOPED_TRACE(mode);
        chmod(runtime_.Path().c_str(), mode);
        StartServe({"serve", "-p", "COM1", "--interval", "0.25"});
        // Once it answers scrapes it has started; once it has ended, its endpoint's start is over.
        ASSERT_FALSE(ScrapeUntil([](const auto& s) { return s.count("korvanthine_up") > 0; }).empty());
        const CtlResult served = StopServe();
        chmod(runtime_.Path().c_str(), 0700);
        EXPECT_NE(served.err.find("others may write the runtime folder " + runtime_.Path()
                                  + ": other programs cannot use COM1 while serve holds it"),
                  std::string::npos)
            << served.err;
        struct stat info;
        EXPECT_NE(lstat(socket_.c_str(), &info), 0);
    }
}

} // namespace

// A serve that does not share its line is named as serve, with the fix, and
// never as a program to end; its /metrics says whether it shares; a second
// serve on the port is told that the port is already served.
TEST_F(SharedLine, AServeOnThePortIsNamedForWhatItIsWithWhatToDo)
{
    struct Case {
        mode_t folderMode;       // 0777: serve does not offer its line there
        const char* sharedLineUp;
        const char* secondServe; // what a second serve on the port says
    };
    const Case cases[] = {
        {0700, "1", "shared: another korvanthine-ctl serve already serves this port; its /metrics is where to look"},
        {0777, "0", "busy: another korvanthine-ctl serve (process "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folderMode);
        chmod(runtime_.Path().c_str(), c.folderMode);
        StartServe({"serve", "-p", "COM1", "--interval", "0.25"});
        const auto samples = ScrapeUntil([](const auto& s) { return s.count("korvanthine_shared_line_up") > 0; });
        ASSERT_FALSE(samples.empty()) << StopServe().err;
        EXPECT_EQ(samples.at("korvanthine_shared_line_up"), c.sharedLineUp);
        const std::string serving = "korvanthine-ctl serve (process " + std::to_string(serve_->Pid()) + ")";

        const CtlResult get = RunCtl({"get", "-p", "COM1", "-c", "1"});
        if (std::string(c.sharedLineUp) == "1") {
            EXPECT_EQ(get.status, 0) << get.err;
        } else {
            EXPECT_EQ(get.status, 3) << get.err;
            EXPECT_NE(get.err.find("busy: " + serving + " holds it and does not share it"), std::string::npos) << get.err;
            EXPECT_NE(get.err.find("RuntimeDirectory="), std::string::npos) << get.err;
            EXPECT_NE(get.err.find("$XDG_RUNTIME_DIR"), std::string::npos) << get.err;
            EXPECT_EQ(get.err.find("end that program"), std::string::npos) << get.err;
            const CtlResult ports = RunCtl({"ports"});
            EXPECT_NE(ports.out.find("held by " + serving), std::string::npos) << ports.out;
        }

        const CtlResult second = RunCtl({"serve", "-p", "COM1", "--listen", "127.0.0.1:" + std::to_string(FreeLocalPort())});
        EXPECT_EQ(second.status, 3) << second.err;
        EXPECT_NE(second.err.find(c.secondServe), std::string::npos) << second.err;
        EXPECT_NE(second.err.find("already serves this port"), std::string::npos) << second.err;
        EXPECT_EQ(second.err.find("did not take this program"), std::string::npos) << second.err;
        StopServe();
        chmod(runtime_.Path().c_str(), 0700);
    }
}
