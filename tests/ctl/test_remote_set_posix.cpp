// korvanthine-ctl set --url against servers played by the test on
// 127.0.0.1 that take the connection and then never finish: the command
// gives up by itself within its bound, and a stop signal ends it at once,
// saying whether the write could have reached serve.
#include <filesystem>
#include <system_error>
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "ctl_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A self-signed certificate for 127.0.0.1 and its key, made for the run.
struct LocalCertificate {
    LocalCertificate()
    {
        key = EVP_EC_gen("prime256v1");
        cert = X509_new();
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), -60);
        X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
        X509_set_pubkey(cert, key);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
        X509_set_issuer_name(cert, name);
        X509V3_CTX context;
        X509V3_set_ctx_nodb(&context);
        X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
        X509_EXTENSION* alt = X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1");
        X509_add_ext(cert, alt, -1);
        X509_EXTENSION_free(alt);
        X509_sign(cert, key, EVP_sha256());
    }
    ~LocalCertificate()
    {
        X509_free(cert);
        EVP_PKEY_free(key);
    }
    bool WriteTo(const std::string& path) const
    {
        FILE* file = std::fopen(path.c_str(), "w");
        const bool written = file != nullptr && PEM_write_X509(file, cert) == 1;
        if (file != nullptr)
            std::fclose(file);
        return written;
    }
    EVP_PKEY* key;
    X509* cert;
};

enum class Silence { kBeforeHandshake, kAfterRequest };

// A server on 127.0.0.1 that accepts one connection and then says nothing:
// either at once, or after a TLS handshake and the whole request.
class SilentServer {
public:
    SilentServer(Silence silence, const LocalCertificate& certificate) : silence_(silence), certificate_(certificate)
    {
        listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listen_, 1) != 0
            || getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~SilentServer()
    {
        ending_ = true;
        if (thread_.joinable())
            thread_.join();
        close(listen_);
    }
    int Port() const { return port_; }
    // Waits until the server has got as far as it goes before its silence.
    bool WaitUntilSilent(int timeoutMs) const
    {
        for (const auto end = Clock::now() + milliseconds(timeoutMs); !silent_ && Clock::now() < end;)
            std::this_thread::sleep_for(milliseconds(5));
        return silent_;
    }
    // What the server read of the request (after a handshake).
    std::string Request() const { return silent_ ? request_ : ""; }

private:
    bool Readable(int fd, int timeoutMs) const
    {
        pollfd pfd{fd, POLLIN, 0};
        for (const auto end = Clock::now() + milliseconds(timeoutMs); !ending_ && Clock::now() < end;)
            if (poll(&pfd, 1, 20) > 0)
                return true;
        return false;
    }
    void Serve()
    {
        if (!Readable(listen_, 30000))
            return;
        const int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        SSL_CTX* tls = nullptr;
        SSL* session = nullptr;
        if (silence_ == Silence::kAfterRequest) {
            tls = SSL_CTX_new(TLS_server_method());
            SSL_CTX_use_certificate(tls, certificate_.cert);
            SSL_CTX_use_PrivateKey(tls, certificate_.key);
            session = SSL_new(tls);
            SSL_set_fd(session, fd);
            // The whole request: its head and the body its length names.
            if (SSL_accept(session) == 1) {
                char chunk[512];
                for (;;) {
                    const std::size_t head = request_.find("\r\n\r\n");
                    const std::size_t field = request_.find("Content-Length: ");
                    if (head != std::string::npos && field != std::string::npos
                        && request_.size() >= head + 4 + std::stoul(request_.substr(field + 16)))
                        break;
                    const int got = SSL_read(session, chunk, sizeof chunk);
                    if (got <= 0)
                        break;
                    request_.append(chunk, static_cast<std::size_t>(got));
                }
            }
        }
        silent_ = true;
        // Until the client goes, or the test ends.
        while (Readable(fd, 60000)) {
            char chunk[512];
            if (read(fd, chunk, sizeof chunk) <= 0)
                break;
        }
        if (session != nullptr)
            SSL_free(session);
        if (tls != nullptr)
            SSL_CTX_free(tls);
        close(fd);
    }

    Silence silence_;
    const LocalCertificate& certificate_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> silent_{false};
    std::atomic<bool> ending_{false};
    std::string request_;
    std::thread thread_;
};

class RemoteSet : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/remote-set-test.XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        ASSERT_TRUE(certificate_.WriteTo(dir_ + "/ca.crt"));
        std::ofstream(dir_ + "/password") << "not the real one\n";
    }
    void TearDown() override { std::error_code ignored; std::filesystem::remove_all(dir_, ignored); }

    std::vector<std::string> SetVia(int port) const
    {
        return {"set", "--url", "https://127.0.0.1:" + std::to_string(port), "--user", "alice", "--password-file",
                dir_ + "/password", "--ca-file", dir_ + "/ca.crt", "-c", "2", "--temp", "25.5"};
    }

    LocalCertificate certificate_;
    std::string dir_;
};

TEST_F(RemoteSet, AServerThatNeverCompletesTheHandshakeIsGivenUpWithinItsBound)
{
    SilentServer server(Silence::kBeforeHandshake, certificate_);
    ASSERT_GT(server.Port(), 0);
    const Clock::time_point start = Clock::now();
    CtlProcess ctl(SetVia(server.Port()));
    ASSERT_TRUE(ctl.Started());
    // The handshake's own bound is 10 s; the generous margin is for a busy machine.
    const CtlResult result = ctl.Finish(40000);
    const double seconds = SecondsSince(start);
    EXPECT_TRUE(server.WaitUntilSilent(0));
    EXPECT_EQ(result.status, 3) << result.err;
    EXPECT_NE(result.err.find("TLS handshake not completed within 10 s; nothing was sent"), std::string::npos)
        << result.err;
    EXPECT_GE(seconds, 9.5);
    EXPECT_LT(seconds, 30.0);
    std::printf("set --url gave up on a silent server after %.2f s\n", seconds);
}

TEST_F(RemoteSet, AStopSignalEndsItAtOnceSayingWhetherTheWriteCouldHaveBeenMade)
{
    const struct {
        Silence silence;
        int signal;
        int status;
        const char* message;
    } cases[] = {
        {Silence::kBeforeHandshake, SIGTERM, 3, "stopped before serve answered; nothing was sent"},
        {Silence::kBeforeHandshake, SIGINT, 3, "stopped before serve answered; nothing was sent"},
        {Silence::kAfterRequest, SIGTERM, 4,
         "stopped before serve answered; the write may or may not have been carried out"},
        {Silence::kAfterRequest, SIGINT, 4,
         "stopped before serve answered; the write may or may not have been carried out"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.silence == Silence::kAfterRequest ? "after the request, " : "before the handshake, ")
                     + strsignal(c.signal));
        SilentServer server(c.silence, certificate_);
        ASSERT_GT(server.Port(), 0);
        CtlProcess ctl(SetVia(server.Port()));
        ASSERT_TRUE(ctl.Started());
        ASSERT_TRUE(server.WaitUntilSilent(20000));
        if (c.silence == Silence::kAfterRequest) {
            EXPECT_NE(server.Request().find("\"set_temperature\":\"25.5\""), std::string::npos) << server.Request();
        }
        const Clock::time_point sent = Clock::now();
        kill(static_cast<pid_t>(ctl.Pid()), c.signal);
        const CtlResult result = ctl.Finish(5000);
        const double seconds = SecondsSince(sent);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        std::printf("%s ended set --url after %.0f ms\n", strsignal(c.signal), seconds * 1000);
    }
}

} // namespace

// A certificate that is not for the name asked, or not trusted: the
// handshake's failure names what was asked for, what the certificate is
// for, and what to do, rather than OpenSSL's "certificate verify failed".
TEST_F(RemoteSet, ACertificateThatWillNotDoIsExplainedWithItsNames)
{
    struct Case {
        const char* host;
        bool withCa;
        std::vector<std::string> says;
    };
    const Case cases[] = {
        {"localhost", true,
         {"TLS handshake: the server's certificate is for 127.0.0.1, not for localhost",
          "connect by a name the certificate has", "subjectAltName has localhost", "--web.allowed-host localhost",
          "; nothing was sent"}},
        {"127.0.0.1", false, {"TLS handshake: the server's certificate (for 127.0.0.1) is not trusted: ", "--ca-file"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.host);
        SilentServer server(Silence::kAfterRequest, certificate_);
        ASSERT_NE(server.Port(), 0);
        std::vector<std::string> args = {"set", "--url", std::string("https://") + c.host + ":" + std::to_string(server.Port()),
                                         "--user", "alice", "--password-file", dir_ + "/password", "-c", "2",
                                         "--temp", "25.5"};
        if (c.withCa)
            args.insert(args.end(), {"--ca-file", dir_ + "/ca.crt"});
        const CtlResult result = RunCtl(args, {}, 60000);
        EXPECT_EQ(result.status, 3) << result.err;
        for (const std::string& said : c.says)
            EXPECT_NE(result.err.find(said), std::string::npos) << said << "\n" << result.err;
        EXPECT_EQ(result.err.find("certificate verify failed"), std::string::npos) << result.err;
        EXPECT_EQ(server.Request(), "");
    }
}
