// The listener's TLS as a client sees it: an OpenSSL client offering one
// suite, against the context serve builds, over a pair of memory BIOs.
#include <filesystem>
#include <system_error>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include <openssl/ssl.h>

#include "test_certificate.h"
#include "tls_context.h"

namespace {

class TlsContextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/korvanthine-tls-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        WriteSelfSignedCertificate(dir_);
        config_.tls = true;
        config_.certFile = dir_ + "/bench.crt";
        config_.keyFile = dir_ + "/bench.key";
    }
    void TearDown() override { std::error_code ignored; std::filesystem::remove_all(dir_, ignored); }

    // The suite both ends agreed on; "" when the handshake failed.
    std::string Handshake(const WebConfig& config, int version, const std::string& suite)
    {
        std::string error;
        const auto server = MakeTlsContext(config, &error);
        EXPECT_TRUE(server) << error;
        if (!server)
            return "";
        SSL_CTX* clientContext = SSL_CTX_new(TLS_client_method());
        // The client takes what it is told; what is refused, the server refuses.
        SSL_CTX_set_security_level(clientContext, 0);
        SSL_CTX_set_min_proto_version(clientContext, version);
        SSL_CTX_set_max_proto_version(clientContext, version);
        if (version == TLS1_3_VERSION)
            SSL_CTX_set_ciphersuites(clientContext, suite.c_str());
        else
            SSL_CTX_set_cipher_list(clientContext, suite.c_str());
        SSL* client = SSL_new(clientContext);
        SSL* serving = SSL_new(server->native_handle());
        BIO* clientEnd = nullptr;
        BIO* serverEnd = nullptr;
        BIO_new_bio_pair(&clientEnd, 0, &serverEnd, 0);
        SSL_set_bio(client, clientEnd, clientEnd);
        SSL_set_bio(serving, serverEnd, serverEnd);
        SSL_set_connect_state(client);
        SSL_set_accept_state(serving);
        bool clientDone = false, serverDone = false, failed = false;
        for (int round = 0; round < 50 && !failed && !(clientDone && serverDone); ++round) {
            for (auto [ssl, done] : {std::pair<SSL*, bool*>{client, &clientDone}, {serving, &serverDone}}) {
                if (*done)
                    continue;
                const int result = SSL_do_handshake(ssl);
                if (result == 1)
                    *done = true;
                else if (const int why = SSL_get_error(ssl, result); why != SSL_ERROR_WANT_READ && why != SSL_ERROR_WANT_WRITE)
                    failed = true;
            }
        }
        const std::string agreed = clientDone && serverDone && !failed ? SSL_get_cipher_name(client) : "";
        SSL_free(client);
        SSL_free(serving);
        SSL_CTX_free(clientContext);
        return agreed;
    }

    std::string dir_;
    WebConfig config_;
};

TEST_F(TlsContextTest, OnlyForwardSecretAeadSuitesInTls12)
{
    const struct {
        int version;
        const char* suite;
        bool agreed;
    } cases[] = {
        {TLS1_2_VERSION, "ECDHE-RSA-AES128-GCM-SHA256", true},
        {TLS1_2_VERSION, "ECDHE-RSA-AES256-GCM-SHA384", true},
        {TLS1_2_VERSION, "ECDHE-RSA-CHACHA20-POLY1305", true},
        {TLS1_2_VERSION, "DHE-RSA-AES128-GCM-SHA256", true},
        {TLS1_3_VERSION, "TLS_AES_128_GCM_SHA256", true},
        {TLS1_3_VERSION, "TLS_CHACHA20_POLY1305_SHA256", true},
        // The RSA key exchange: whoever has the key later reads what was recorded.
        {TLS1_2_VERSION, "AES128-GCM-SHA256", false},
        {TLS1_2_VERSION, "AES256-GCM-SHA384", false},
        {TLS1_2_VERSION, "AES128-SHA256", false},
        // Forward secret, but CBC with a MAC rather than AEAD.
        {TLS1_2_VERSION, "ECDHE-RSA-AES128-SHA256", false},
        {TLS1_2_VERSION, "ECDHE-RSA-AES256-SHA", false},
        {TLS1_2_VERSION, "DHE-RSA-AES256-SHA256", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Handshake(config_, c.version, c.suite), c.agreed ? c.suite : "") << c.suite;
}

TEST_F(TlsContextTest, MinVersionTls13RefusesTls12)
{
    WebConfig tls13 = config_;
    tls13.minTls13 = true;
    EXPECT_EQ(Handshake(tls13, TLS1_2_VERSION, "ECDHE-RSA-AES128-GCM-SHA256"), "");
    EXPECT_EQ(Handshake(tls13, TLS1_3_VERSION, "TLS_AES_256_GCM_SHA384"), "TLS_AES_256_GCM_SHA384");
}

} // namespace
