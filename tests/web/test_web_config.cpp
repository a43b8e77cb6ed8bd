#include <filesystem>
#include <system_error>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "authenticator.h"
#include "test_certificate.h"
#include "test_hashes.h"
#include "web_config.h"
#include "web_config_file.h"

namespace {

const std::string kAliceHash = MakeBcryptHash("correct horse");

// The same hash under another bcrypt form: $2a$, $2b$.
std::string AsForm(std::string hash, char form)
{
    hash[2] = form;
    return hash;
}

// The same hash as if made at another cost (only its digits: nothing here
// runs bcrypt at that cost).
std::string AtCost(std::string hash, const char* digits)
{
    hash.replace(4, 2, digits);
    return hash;
}

class WebConfigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/korvanthine-web-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        std::ofstream(dir_ + "/bench.crt") << "x";
        std::ofstream(dir_ + "/bench.key") << "x";
    }
    void TearDown() override { std::error_code ignored; std::filesystem::remove_all(dir_, ignored); }

    std::string Write(const std::string& text)
    {
        const std::string path = dir_ + "/web.yml";
        std::ofstream(path) << text;
        return path;
    }
    std::string dir_;
};

TEST_F(WebConfigTest, AcceptsTheExportersFormatAndRefusesMistakesNamingTheLine)
{
    const std::string users = std::string("basic_auth_users:\n  alice: ") + kAliceHash + "\n  bob: " + kAliceHash + "\n";
    struct Case {
        std::string text;
        std::string error; // "" for a good file
    } cases[] = {
        {"tls_server_config:\n  cert_file: bench.crt\n  key_file: bench.key\n" + users + "korvanthine:\n  operators: [alice]\n", ""},
        {"", ""},
        {users + "  carol: $apr1$abc$defghijklmnopqrstuvwx\n", "web.yml:4: carol's password hash is not bcrypt"},
        {users + "  dave: " + AsForm(kAliceHash, 'a') + "\n", "web.yml:4: dave's"},
        {"tls_server_config:\n  cert_file: bench.crt\n  key_file: missing.key\n", "web.yml:3: key_file"},
        {"tls_server_config:\n  cert_file: bench.crt\n", "web.yml:2: tls_server_config needs both"},
        {"tls_server_config:\n  cert_file: bench.crt\n  key_file: bench.key\n  min_version: TLS11\n", "web.yml:4: min_version TLS11"},
        {users + "korvanthine:\n  operators: [alice, mallory]\n", "web.yml:5: operator mallory is not one of"},
        {users + "http_server_config:\n  http2: false\n", "web.yml:4: http_server_config is not supported"},
        {"basic_auth_users:\n  alice: [unclosed\n", "web.yml:3: "},
        // As htpasswd -nB prints a user: no space after the colon, alone or among good lines.
        {"basic_auth_users:\n  alice:" + kAliceHash + "\n", "web.yml:2: a space is missing after the colon in alice:$2"},
        {users + "  carol:" + kAliceHash + "\n", "web.yml:4: a space is missing after the colon in carol:$2"},
    };
    for (const Case& c : cases) {
        WebConfig config;
        std::string error;
        const bool loaded = LoadWebConfig(Write(c.text), &config, &error);
        EXPECT_EQ(loaded, c.error.empty()) << c.text << "\n" << error;
        if (!c.error.empty()) {
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
        }
    }

    WebConfig config;
    std::string error;
    ASSERT_TRUE(LoadWebConfig(Write(cases[0].text), &config, &error));
    EXPECT_TRUE(config.tls);
    EXPECT_EQ(config.certFile, dir_ + "/bench.crt"); // from the file's own folder
    EXPECT_TRUE(config.IsOperator("alice"));
    EXPECT_FALSE(config.IsOperator("bob"));
}

TEST_F(WebConfigTest, AChangeIsTakenAndABrokenOneKeepsTheLastGood)
{
    WebConfigFile file;
    std::string error;
    ASSERT_TRUE(file.Load(Write(std::string("basic_auth_users:\n  alice: ") + kAliceHash + "\n"), &error)) << error;
    EXPECT_FALSE(file.Refresh()); // unchanged

    // A new user, and a size that differs even within the same second.
    Write(std::string("basic_auth_users:\n  alice: ") + kAliceHash + "\n  bob: " + kAliceHash + "\n");
    EXPECT_TRUE(file.Refresh());
    EXPECT_EQ(file.Current()->config.users.size(), 2u);

    Write("basic_auth_users:\n  alice: not-a-hash-at-all\n");
    EXPECT_FALSE(file.Refresh());
    EXPECT_EQ(file.Current()->config.users.size(), 2u);
}

TEST_F(WebConfigTest, AKeyGivenTwiceAnywhereIsRefusedNamingBothLines)
{
    const std::string alice = std::string("  alice: ") + kAliceHash + "\n";
    const std::string tls = "tls_server_config:\n  cert_file: bench.crt\n  key_file: bench.key\n";
    const std::pair<std::string, std::string> cases[] = {
        {"basic_auth_users:\n" + alice + "basic_auth_users:\n" + alice,
         "web.yml:3: basic_auth_users is given twice (first on line 1)"},
        {"basic_auth_users:\n" + alice + "  bob: " + kAliceHash + "\n" + alice,
         "web.yml:4: alice is given twice (first on line 2)"},
        {"basic_auth_users:\n" + alice + "  \"alice\": " + kAliceHash + "\n",
         "web.yml:3: alice is given twice (first on line 2)"},
        {"tls_server_config:\n  cert_file: bench.crt\n  key_file: bench.key\n  cert_file: other.crt\n",
         "web.yml:4: cert_file is given twice (first on line 2)"},
        {tls + "basic_auth_users:\n" + alice + "korvanthine:\n  operators: [alice]\n  operators: []\n",
         "web.yml:8: operators is given twice (first on line 7)"},
        {tls + "tls_server_config:\n  min_version: TLS13\n", "web.yml:4: tls_server_config is given twice"},
        // Deeper than anything read, and inside a list: still refused.
        {"basic_auth_users:\n" + alice + "korvanthine:\n  operators: [{a: 1, a: 2}]\n",
         "web.yml:4: a is given twice (first on line 4)"},
        {"x:\n  y:\n    - z: 1\n      z: 2\n", "web.yml:4: z is given twice (first on line 3)"},
    };
    for (const auto& [text, expected] : cases) {
        WebConfig config;
        std::string error;
        EXPECT_FALSE(LoadWebConfig(Write(text), &config, &error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << "\n" << error;
    }
}

TEST_F(WebConfigTest, BcryptCostsFrom4To14AreTakenOthersRefusedNamingTheLine)
{
    const std::pair<std::string, std::string> cases[] = {
        {"04", ""},
        {"14", ""},
        {"15", "web.yml:3: bob's bcrypt cost 15 is not from 4 to 14"},
        {"31", "web.yml:3: bob's bcrypt cost 31 is not from 4 to 14"},
        {"03", "web.yml:3: bob's bcrypt cost 3 is not from 4 to 14"},
    };
    for (const auto& [digits, expected] : cases) {
        const std::string text = std::string("basic_auth_users:\n  alice: ") + kAliceHash + "\n  bob: "
                                 + AtCost(kAliceHash, digits.c_str()) + "\n";
        WebConfig config;
        std::string error;
        EXPECT_EQ(LoadWebConfig(Write(text), &config, &error), expected.empty()) << digits << ": " << error;
        if (!expected.empty()) {
            EXPECT_NE(error.find(expected), std::string::npos) << error;
        }
    }
}

// A reload that would open the page or change its TLS keeps what was
// loaded, and says why, naming the file.
class WebConfigReloadTest : public WebConfigTest {
protected:
    void SetUp() override
    {
        WebConfigTest::SetUp();
        WriteSelfSignedCertificate(dir_);
    }

    // Loads first, then tries next; what Refresh logged.
    std::string Reload(WebConfigFile* file, const std::string& first, const std::string& next, bool* taken)
    {
        std::string error;
        EXPECT_TRUE(file->Load(Write(first), &error)) << error;
        Write(next + "# changed\n"); // a size of its own, whatever the clock's grain
        ::testing::internal::CaptureStderr();
        *taken = file->Refresh();
        return ::testing::internal::GetCapturedStderr();
    }
};

TEST_F(WebConfigReloadTest, UsersAreNotDroppedNorTlsChangedWithoutARestart)
{
    const std::string users = std::string("basic_auth_users:\n  alice: ") + kAliceHash + "\n";
    const std::string tls12 = "tls_server_config:\n  cert_file: bench.crt\n  key_file: bench.key\n";
    const std::string tls13 = tls12 + "  min_version: TLS13\n";
    const struct {
        std::string first, next;
        std::string logged; // "" when taken
    } cases[] = {
        {tls12 + users, tls12 + users + "  bob: " + kAliceHash + "\n", ""},
        {users, users + "korvanthine:\n  operators: [alice]\n", ""},
        // Cut short after the TLS lines, or emptied while being written.
        {tls12 + users, tls12, "web.yml: basic_auth_users would be removed: the page would open to everyone"},
        {users, "", "web.yml: basic_auth_users would be removed"},
        {users, "basic_auth_users:\n", "web.yml: basic_auth_users would be removed"},
        {tls12 + users, users, "web.yml: tls_server_config would be removed"},
        {users, tls12 + users, "web.yml: tls_server_config would be added"},
        {tls12 + users, tls13 + users, "web.yml: tls_server_config: min_version would change from TLS12 to TLS13"},
        {tls13 + users, tls12 + users, "min_version would change from TLS13 to TLS12"},
    };
    for (const auto& c : cases) {
        WebConfigFile file;
        bool taken = false;
        const std::string logged = Reload(&file, c.first, c.next, &taken);
        EXPECT_EQ(taken, c.logged.empty()) << c.next << logged;
        if (c.logged.empty())
            continue;
        EXPECT_NE(logged.find(c.logged), std::string::npos) << logged;
        EXPECT_NE(logged.find("keeping the web configuration last loaded"), std::string::npos) << logged;
        EXPECT_EQ(file.Current()->config.users.size(), 1u) << c.next;
    }
}

TEST_F(WebConfigReloadTest, AFileCutShortLeavesEveryPathAskingForAPassword)
{
    const std::string tls = "tls_server_config:\n  cert_file: bench.crt\n  key_file: bench.key\n";
    WebConfigFile file;
    bool taken = true;
    Reload(&file, tls + "basic_auth_users:\n  alice: " + kAliceHash + "\n", tls, &taken);
    ASSERT_FALSE(taken);
    // What the web side asks of every path, /metrics included, with the configuration now current.
    const std::shared_ptr<const WebSetup> setup = file.Current();
    EXPECT_TRUE(setup->config.AuthRequired());
    EXPECT_TRUE(setup->tls);
    Authenticator auth;
    EXPECT_EQ(auth.Check(setup->config, std::nullopt, "127.0.0.1").kind, AuthDecision::Refused);
}

TEST(BcryptHash, OnlyTheFormsHtpasswdWrites)
{
    EXPECT_TRUE(IsBcryptHash(kAliceHash));
    EXPECT_TRUE(IsBcryptHash(AsForm(kAliceHash, 'b')));
    EXPECT_TRUE(IsBcryptHash(AtCost(kAliceHash, "14")));
    EXPECT_FALSE(IsBcryptHash(AtCost(kAliceHash, "15")));
    for (const std::string& bad : {std::string(kAliceHash).substr(0, 59), "$2y$03" + std::string(kAliceHash).substr(6),
                                   "$2y$10!" + std::string(kAliceHash).substr(7),
                                   std::string(kAliceHash).substr(0, 59) + "!"})
        EXPECT_FALSE(IsBcryptHash(bad)) << bad;
}

} // namespace
