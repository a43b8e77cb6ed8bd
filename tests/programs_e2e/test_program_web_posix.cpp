// Programs through serve's web side, over TLS with users of its web
// configuration: a viewer may not start or command a run, an operator
// starts, holds, resumes and aborts one, a busy channel refuses a second
// start, and korvanthine-ctl program --url does the same from a shell.
// Every command is in serve's audit, and no password is in its log.
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <fstream>

#include "program_bench.h"
#include "remote_set.h"
#include "test_hashes.h"

namespace {

// A self-signed certificate for 127.0.0.1 and its key, as dir/bench.crt
// and dir/bench.key; false when they could not be written.
bool WriteLocalCertificate(const std::string& dir)
{
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("prime256v1"), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
    if (!key || !cert)
        return false;
    X509_set_version(cert.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -60);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3600);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert.get(), cert.get(), nullptr, nullptr, 0);
    X509_EXTENSION* alt = X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, "IP:127.0.0.1");
    X509_add_ext(cert.get(), alt, -1);
    X509_EXTENSION_free(alt);
    if (X509_sign(cert.get(), key.get(), EVP_sha256()) == 0)
        return false;
    std::FILE* crt = std::fopen((dir + "/bench.crt").c_str(), "w");
    std::FILE* pem = std::fopen((dir + "/bench.key").c_str(), "w");
    const bool written = crt && pem && PEM_write_X509(crt, cert.get()) == 1
                         && PEM_write_PrivateKey(pem, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    if (crt)
        std::fclose(crt);
    if (pem)
        std::fclose(pem);
    return written;
}

const char kAlicePassword[] = "alice's own words";
const char kBobPassword[] = "bob only looks";

class ProgramsOverTheWeb : public ProgramBench {
protected:
    void SetUp() override
    {
        ProgramBench::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(WriteLocalCertificate(dir_));
        std::ofstream(dir_ + "/alice.password") << kAlicePassword << "\n";
        std::ofstream(dir_ + "/bob.password") << kBobPassword << "\n";
        std::ofstream(dir_ + "/web.yml") << "tls_server_config:\n"
                                            "  cert_file: bench.crt\n"
                                            "  key_file: bench.key\n"
                                            "basic_auth_users:\n"
                                            "  alice: " << MakeBcryptHash(kAlicePassword) << "\n"
                                            "  bob: " << MakeBcryptHash(kBobPassword) << "\n"
                                            "korvanthine:\n"
                                            "  operators: [alice]\n";
        StartServe({"--web.config.file", dir_ + "/web.yml"});
    }

    std::string Url() const { return "https://127.0.0.1:" + std::to_string(httpPort_); }

    // One request as user, through the client korvanthine-ctl uses.
    HttpsAnswer Call(const std::string& user, const std::string& method, const std::string& target,
                     const std::string& contentType = "", const std::string& body = "") const
    {
        CtlRequest request;
        request.url = Url();
        request.urlHost = "127.0.0.1";
        request.urlPort = httpPort_;
        request.user = user;
        request.caFile = dir_ + "/bench.crt";
        HttpsAnswer answer;
        const int failed = HttpsCall(request, user == "alice" ? kAlicePassword : kBobPassword, method, target,
                                     contentType, body, &answer);
        EXPECT_EQ(failed, -1) << method << " " << target << " had no answer";
        return answer;
    }

    // korvanthine-ctl program ACTION --url ... as alice.
    std::vector<std::string> ProgramVia(const std::string& action) const
    {
        return {"program", action, "--url", Url(), "--user", "alice", "--password-file", dir_ + "/alice.password",
                "--ca-file", dir_ + "/bench.crt"};
    }

    std::string RunIdOf(const HttpsAnswer& answer) const
    {
        const nlohmann::json body = nlohmann::json::parse(answer.body, nullptr, false);
        return body.is_object() ? body.value("id", std::string()) : std::string();
    }
};

const char kChannel2[] = "name: e2e-web\n"
                         "channels: [2]\n"
                         "max_celsius: 80\n"
                         "segments:\n"
                         "  - {ramp: 30.0, time: 2m}\n";

TEST_F(ProgramsOverTheWeb, OnlyAnOperatorCommandsRunsAndABusyChannelRefusesASecondStart)
{
    const HttpsAnswer viewerStart = Call("bob", "POST", "/programs?file=web.yml", "application/yaml", kChannel2);
    EXPECT_EQ(viewerStart.status, 403u) << viewerStart.body;
    EXPECT_TRUE(ChannelStatus(2).is_null()) << "a viewer's start left a run behind";

    const HttpsAnswer started = Call("alice", "POST", "/programs?file=web.yml", "application/yaml", kChannel2);
    ASSERT_EQ(started.status, 201u) << started.body;
    const std::string id = RunIdOf(started);
    ASSERT_FALSE(id.empty()) << started.body;
    ASSERT_TRUE(WaitForState(2, "running", 10000).is_object());

    const HttpsAnswer second = Call("alice", "POST", "/programs?file=web.yml", "application/yaml", kChannel2);
    EXPECT_EQ(second.status, 409u) << second.body;
    const HttpsAnswer viewerAbort = Call("bob", "POST", "/programs/" + id + "/abort", "application/json", "{}");
    EXPECT_EQ(viewerAbort.status, 403u) << viewerAbort.body;
    EXPECT_EQ(StateOf(ChannelStatus(2)), "running");

    // Each command answers once serve's next step carried it out.
    const struct {
        const char* verb;
        const char* state;
    } kCommands[] = {{"hold", "held"}, {"resume", "running"}, {"abort", "aborted"}};
    for (const auto& command : kCommands) {
        const HttpsAnswer answer = Call("alice", "POST", "/programs/" + id + "/" + command.verb, "application/json", "{}");
        EXPECT_EQ(answer.status, 200u) << command.verb << ": " << answer.body;
        EXPECT_EQ(RunIdOf(answer), id) << command.verb;
        EXPECT_EQ(StateOf(ChannelStatus(2)), command.state) << "after " << command.verb;
    }
    const nlohmann::json aborted = ChannelStatus(2);
    EXPECT_EQ(aborted.value("reason", std::string()), "operator") << aborted.dump();
    const HttpsAnswer viewed = Call("bob", "GET", "/programs");
    EXPECT_EQ(viewed.status, 200u);
    EXPECT_NE(viewed.body.find("\"aborted\""), std::string::npos) << viewed.body;

    const CtlResult serve = StopServe();
    EXPECT_NE(serve.err.find("program command by bob"), std::string::npos) << serve.err;
    EXPECT_NE(serve.err.find(": forbidden"), std::string::npos) << serve.err;
    EXPECT_NE(serve.err.find("hold e2e-web (run " + id + "): done"), std::string::npos) << serve.err;
    EXPECT_NE(serve.err.find(": conflict"), std::string::npos) << serve.err;
    EXPECT_EQ(serve.err.find(kAlicePassword), std::string::npos);
    EXPECT_EQ(serve.err.find(kBobPassword), std::string::npos);
}

TEST_F(ProgramsOverTheWeb, KorvanthineCtlStartsWatchesAndAbortsThroughTheUrl)
{
    const std::string path = WriteProgram("ctl-web.yml", "name: e2e-ctl-web\n"
                                                         "channels: [3]\n"
                                                         "max_celsius: 80\n"
                                                         "segments:\n"
                                                         "  - {ramp: 30.0, time: 2m}\n");
    std::vector<std::string> start = ProgramVia("start");
    start.push_back(path);
    const CtlResult started = RunCtl(start);
    ASSERT_EQ(started.status, 0) << started.err;
    ASSERT_EQ(started.out.rfind("started run ", 0), 0u) << started.out;
    const std::string id = started.out.substr(12, started.out.find('\n') - 12);
    ASSERT_TRUE(WaitForState(3, "running", 10000).is_object());

    std::vector<std::string> status = ProgramVia("status");
    status.push_back("--json");
    CtlResult watched = RunCtl(status);
    ASSERT_EQ(watched.status, 0) << watched.err;
    nlohmann::json view = nlohmann::json::parse(watched.out, nullptr, false);
    ASSERT_TRUE(view.is_object()) << watched.out;
    ASSERT_EQ(view["channels"].size(), 1u) << watched.out;
    EXPECT_EQ(view["channels"][0].value("id", std::string()), id);
    EXPECT_EQ(view["channels"][0].value("started_by", std::string()).rfind("alice", 0), 0u) << watched.out;

    std::vector<std::string> abort = ProgramVia("abort");
    abort.insert(abort.end(), {"--channel", "3"});
    const CtlResult aborted = RunCtl(abort);
    EXPECT_EQ(aborted.status, 0) << aborted.err;
    EXPECT_NE(aborted.out.find("abort of run " + id + ": done"), std::string::npos) << aborted.out;
    watched = RunCtl(status);
    view = nlohmann::json::parse(watched.out, nullptr, false);
    ASSERT_TRUE(view.is_object()) << watched.out;
    EXPECT_EQ(view["channels"][0].value("state", std::string()), "aborted") << watched.out;
    EXPECT_EQ(view["channels"][0].value("reason", std::string()), "operator") << watched.out;
}

} // namespace
