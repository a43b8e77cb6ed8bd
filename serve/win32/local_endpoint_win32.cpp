// serve's local endpoint on Windows: a named pipe per port that refuses
// remote clients, open to the local users who may open the COM port
// (administrators, the system and interactive users). One thread waits for
// connections; each client has a thread of its own, every wait of which
// also watches the stop event.
#include "windows_api.h"

#include <sddl.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "local_endpoint.h"
#include "log_text.h"
#include "shared_line_pipe.h"
#include "shared_line_protocol.h"

namespace {

constexpr DWORD kPipeBuffer = 512;

// The pipe's access: full for the system, administrators and its owner;
// reading and writing for interactive users, as for a COM port.
constexpr char kPipeAccess[] = "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;OW)(A;;GRGW;;;IU)";

// "DOMAIN\name" of the account a process runs as; "" when it cannot be seen.
std::string AccountOf(HANDLE process)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &token))
        return "";
    std::string account;
    alignas(TOKEN_USER) char buffer[256];
    DWORD size = 0;
    if (GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size)) {
        char name[256], domain[256];
        DWORD nameSize = sizeof name, domainSize = sizeof domain;
        SID_NAME_USE use;
        if (LookupAccountSidA(nullptr, reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, name, &nameSize, domain,
                              &domainSize, &use))
            account = domainSize > 0 ? std::string(domain) + "\\" + name : std::string(name);
    }
    CloseHandle(token);
    return account;
}

// Who is at the other end of a pipe, for the log and the audit of its
// writes: "user BENCH\alice, process 42 (korvanthine.exe)", as much of it
// as the system lets serve see.
std::string Describe(HANDLE pipe)
{
    ULONG pid = 0;
    if (!GetNamedPipeClientProcessId(pipe, &pid))
        return "a process";
    std::string who = "process " + std::to_string(pid);
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (process == nullptr)
        return who;
    char path[MAX_PATH];
    DWORD size = sizeof path;
    if (QueryFullProcessImageNameA(process, 0, path, &size)) {
        const std::string image(path, size);
        who += " (" + image.substr(image.find_last_of("\\/") + 1) + ")";
    }
    const std::string account = AccountOf(process);
    CloseHandle(process);
    return account.empty() ? who : "user " + account + ", " + who;
}

// The account part of Describe's text ("user BENCH\alice"), which refusals
// are counted by; the process when the account is not known.
std::string AccountPart(const std::string& who)
{
    return who.substr(0, who.find(", process"));
}

} // namespace

struct LocalEndpoint::Impl {
    ExchangeQueue& queue;
    std::string name;
    HANDLE stop = nullptr;
    PSECURITY_DESCRIPTOR access = nullptr;
    std::thread listener;
    std::mutex clientsMutex;
    struct ClientThread {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> ended;
    };
    std::vector<ClientThread> clientThreads;
    std::atomic<int> clients{0};
    bool firstInstance = true;

    RefusalLog& log;

    LocalEndpoint::ProgramHandler programs;

    Impl(ExchangeQueue& q, RefusalLog& l) : queue(q), log(l) {}

    // A program command, whole, answered on this client's own thread.
    bool AnswerProgram(HANDLE pipe, const std::string& who)
    {
        char header[shared_line::kProgramHeaderSize - 1];
        if (!Transfer(pipe, true, header, sizeof header, LocalEndpoint::kRequestCompleteMs))
            return false;
        const std::size_t length = shared_line::ProgramLength(header);
        if (length > shared_line::kMaxProgramText) {
            Refuse(pipe, who, "a program command longer than " + std::to_string(shared_line::kMaxProgramText) + " bytes");
            return false;
        }
        std::string text(length, '\0');
        if (length > 0 && !Transfer(pipe, true, &text[0], static_cast<DWORD>(length), LocalEndpoint::kRequestCompleteMs)) {
            Refuse(pipe, who, "request incomplete after " + std::to_string(LocalEndpoint::kRequestCompleteMs) + " ms");
            return false;
        }
        std::pair<int, std::string> answer{
            501, "{\"errors\":[\"this build of serve runs no programs: it reads no program files yet\"]}"};
        if (programs)
            answer = programs(text, who);
        std::string message = shared_line::ProgramAnswerMessage(answer.first, answer.second);
        return Transfer(pipe, false, &message[0], static_cast<DWORD>(message.size()), 1000);
    }

    // A transfer that serve's stop cuts short.
    bool Transfer(HANDLE pipe, bool reading, char* buffer, DWORD count, DWORD waitMs)
    {
        return PipeTransfer(pipe, reading, buffer, count, waitMs, stop);
    }

    void Refuse(HANDLE pipe, const std::string& who, const std::string& why)
    {
        log.Refusal(LogText(AccountPart(who)), "korvanthine-ctl: local client " + LogText(who) + " refused: " + why);
        std::string message = shared_line::RefusalMessage(why);
        Transfer(pipe, false, &message[0], static_cast<DWORD>(message.size()), 1000);
        FlushFileBuffers(pipe);
    }

    void Serve(HANDLE pipe)
    {
        const std::string who = Describe(pipe);
        const std::uint64_t session = queue.NewSession();
        char accepted = shared_line::kAccepted;
        if (Transfer(pipe, false, &accepted, 1, 1000)) {
            for (;;) {
                unsigned char length = 0;
                if (!Transfer(pipe, true, reinterpret_cast<char*>(&length), 1, INFINITE))
                    break; // gone, or serve stops
                if (length == static_cast<unsigned char>(shared_line::kProgramRequest)) {
                    if (!AnswerProgram(pipe, who))
                        break;
                    continue;
                }
                if (length == 0 || length > shared_line::kMaxRequestFrame) {
                    Refuse(pipe, who, "not a request frame of the command set");
                    break;
                }
                std::string frame(length, '\0');
                if (!Transfer(pipe, true, &frame[0], length, LocalEndpoint::kRequestCompleteMs)) {
                    Refuse(pipe, who, "request incomplete after " + std::to_string(LocalEndpoint::kRequestCompleteMs) + " ms");
                    break;
                }
                if (!shared_line::IsCommandSetRequest(frame)) {
                    Refuse(pipe, who, "not a request frame of the command set");
                    break;
                }
                const ExchangeResult result = queue.Submit({frame, who, session, AccountPart(who)}).get();
                DWORD more = 0;
                if (PeekNamedPipe(pipe, nullptr, 0, nullptr, &more, nullptr) && more != 0) {
                    Refuse(pipe, who, "one exchange at a time: a request came before the last one's reply");
                    break;
                }
                std::string answer = result.refused.empty()
                                         ? shared_line::AnswerMessage(result.reply.data(), result.reply.size(), result.waiting)
                                         : shared_line::WriteRefusedMessage(result.refused);
                if (!Transfer(pipe, false, &answer[0], static_cast<DWORD>(answer.size()), 1000))
                    break;
            }
        }
        DisconnectNamedPipe(pipe);
        CloseHandle(pipe);
        --clients;
    }

    HANDLE NewInstance()
    {
        SECURITY_ATTRIBUTES attributes{sizeof attributes, access, FALSE};
        DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
        // The first instance makes sure no other program created the name before us.
        if (firstInstance)
            openMode |= FILE_FLAG_FIRST_PIPE_INSTANCE;
        const HANDLE pipe = CreateNamedPipeA(name.c_str(), openMode,
                                             PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
                                             PIPE_UNLIMITED_INSTANCES, kPipeBuffer, kPipeBuffer, 0,
                                             access != nullptr ? &attributes : nullptr);
        if (pipe != INVALID_HANDLE_VALUE)
            firstInstance = false;
        return pipe;
    }

    void Listen(HANDLE pipe)
    {
        const HANDLE connected = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        while (pipe != INVALID_HANDLE_VALUE) {
            OVERLAPPED overlapped{};
            overlapped.hEvent = connected;
            ResetEvent(connected);
            bool ready = ConnectNamedPipe(pipe, &overlapped) != 0 || GetLastError() == ERROR_PIPE_CONNECTED;
            if (!ready && GetLastError() == ERROR_IO_PENDING) {
                const HANDLE waits[] = {connected, stop};
                if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
                    CancelIo(pipe);
                    CloseHandle(pipe);
                    break;
                }
                DWORD unused = 0;
                ready = GetOverlappedResult(pipe, &overlapped, &unused, FALSE) != 0;
            }
            if (ready && clients >= LocalEndpoint::kMaxClients) {
                // Said without waiting for the newcomer to read it: one that never
                // reads must not hold up the next connection.
                const std::string why = "too many programs share this line (" + std::to_string(LocalEndpoint::kMaxClients) + ")";
                log.Refusal("newcomers", "korvanthine-ctl: local client refused: " + why);
                std::string message = shared_line::RefusalMessage(why);
                Transfer(pipe, false, &message[0], static_cast<DWORD>(message.size()), 1000);
                CloseHandle(pipe);
            }
            else if (ready) {
                ++clients;
                std::lock_guard<std::mutex> lock(clientsMutex);
                // Threads of clients that left are joined here, so they never pile up.
                for (auto t = clientThreads.begin(); t != clientThreads.end();) {
                    if (*t->ended) {
                        t->thread.join();
                        t = clientThreads.erase(t);
                    }
                    else
                        ++t;
                }
                auto ended = std::make_shared<std::atomic<bool>>(false);
                clientThreads.push_back({std::thread([this, pipe, ended] {
                                             Serve(pipe);
                                             *ended = true;
                                         }),
                                         ended});
            }
            else
                CloseHandle(pipe);
            pipe = NewInstance();
        }
        CloseHandle(connected);
    }
};

LocalEndpoint::LocalEndpoint(ExchangeQueue& queue, RefusalLog& log) : queue_(queue), log_(log) {}

LocalEndpoint::~LocalEndpoint()
{
    Stop();
}

bool LocalEndpoint::Start(const std::string& port)
{
    auto impl = std::make_unique<Impl>(queue_, log_);
    impl->programs = programs_;
    impl->name = SharedLinePipeName(port);
    impl->stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ConvertStringSecurityDescriptorToSecurityDescriptorA(kPipeAccess, SDDL_REVISION_1, &impl->access, nullptr);
    const HANDLE first = impl->NewInstance();
    if (first == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "korvanthine-ctl: cannot offer %s to other programs at %s (error %lu)\n", port.c_str(),
                     impl->name.c_str(), static_cast<unsigned long>(GetLastError()));
        if (impl->access != nullptr)
            LocalFree(impl->access);
        CloseHandle(impl->stop);
        return false;
    }
    std::fprintf(stderr, "korvanthine-ctl: other programs share %s through %s\n", port.c_str(), impl->name.c_str());
    Impl* running = impl.get();
    impl->listener = std::thread([running, first] { running->Listen(first); });
    impl_ = std::move(impl);
    return true;
}

void LocalEndpoint::Stop()
{
    if (!impl_)
        return;
    SetEvent(impl_->stop);
    impl_->listener.join();
    for (auto& t : impl_->clientThreads)
        t.thread.join();
    if (impl_->access != nullptr)
        LocalFree(impl_->access);
    CloseHandle(impl_->stop);
    impl_.reset();
}
