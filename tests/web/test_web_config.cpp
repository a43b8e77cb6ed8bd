#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "web_config.h"
#include "test_hashes.h"
#include "web_config_file.h"

namespace {

const std::string kAliceHash = MakeBcryptHash("correct horse");

// The same hash under another bcrypt form: $2a$, $2b$.
std::string AsForm(std::string hash, char form)
{
    hash[2] = form;
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
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

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

TEST(BcryptHash, OnlyTheFormsHtpasswdWrites)
{
    EXPECT_TRUE(IsBcryptHash(kAliceHash));
    EXPECT_TRUE(IsBcryptHash(AsForm(kAliceHash, 'b')));
    for (const std::string& bad : {std::string(kAliceHash).substr(0, 59), "$2y$03" + std::string(kAliceHash).substr(6),
                                   "$2y$10!" + std::string(kAliceHash).substr(7),
                                   std::string(kAliceHash).substr(0, 59) + "!"})
        EXPECT_FALSE(IsBcryptHash(bad)) << bad;
}

} // namespace
