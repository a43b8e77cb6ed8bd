// make-certificate's files as a client and serve take them: the names a
// client matches, the key's type and privacy, a chain that verifies with
// the certificate as its own trust anchor; and what it refuses, writing
// nothing.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include "exit_status.h"
#include "self_signed_certificate.h"

namespace {

struct X509Free {
    void operator()(X509* p) const { X509_free(p); }
};
struct KeyFree {
    void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};

std::string Folder(const std::string& name)
{
    const std::string dir = ::testing::TempDir() + "make-certificate-" + name;
    std::remove((dir + "/server.crt").c_str());
    std::remove((dir + "/server.key").c_str());
    ::mkdir(dir.c_str(), 0700);
    return dir;
}

std::unique_ptr<X509, X509Free> ReadCertificate(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr)
        return nullptr;
    std::unique_ptr<X509, X509Free> certificate(PEM_read_X509(file, nullptr, nullptr, nullptr));
    std::fclose(file);
    return certificate;
}

std::unique_ptr<EVP_PKEY, KeyFree> ReadKey(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr)
        return nullptr;
    std::unique_ptr<EVP_PKEY, KeyFree> key(PEM_read_PrivateKey(file, nullptr, nullptr, nullptr));
    std::fclose(file);
    return key;
}

std::string CommonName(X509* certificate)
{
    char text[256] = "";
    X509_NAME_get_text_by_NID(X509_get_subject_name(certificate), NID_commonName, text, sizeof text);
    return text;
}

// Verifies the certificate for name as a client given it as --cacert does.
bool ClientAccepts(X509* certificate, const std::string& name, bool isAddress)
{
    X509_STORE* store = X509_STORE_new();
    X509_STORE_add_cert(store, certificate);
    X509_STORE_CTX* context = X509_STORE_CTX_new();
    X509_STORE_CTX_init(context, store, certificate, nullptr);
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(context);
    if (isAddress)
        X509_VERIFY_PARAM_set1_ip_asc(param, name.c_str());
    else
        X509_VERIFY_PARAM_set1_host(param, name.c_str(), 0);
    const bool verified = X509_verify_cert(context) == 1;
    X509_STORE_CTX_free(context);
    X509_STORE_free(store);
    return verified;
}

struct NamesCase {
    const char* label;
    std::vector<std::string> names;
    std::vector<bool> isAddress;
};

class MadeCertificate : public ::testing::TestWithParam<NamesCase> {};

TEST_P(MadeCertificate, NamesEveryNameAndVerifiesWithItselfAsTheAnchor)
{
    const NamesCase& c = GetParam();
    const std::string dir = Folder(c.label);
    const CertificateOutcome made = MakeSelfSignedCertificate(c.names, dir + "/server.crt", dir + "/server.key");
    ASSERT_EQ(made.status, kExitOk) << made.problem;
    auto certificate = ReadCertificate(dir + "/server.crt");
    auto key = ReadKey(dir + "/server.key");
    ASSERT_TRUE(certificate && key);

    EXPECT_EQ(CommonName(certificate.get()), c.names.front());
    for (std::size_t i = 0; i < c.names.size(); ++i)
        EXPECT_TRUE(ClientAccepts(certificate.get(), c.names[i], c.isAddress[i])) << c.names[i];
    EXPECT_FALSE(ClientAccepts(certificate.get(), "other.example", false));

    EXPECT_EQ(EVP_PKEY_get_base_id(key.get()), EVP_PKEY_EC);
    char group[64] = "";
    EVP_PKEY_get_group_name(key.get(), group, sizeof group, nullptr);
    EXPECT_STREQ(group, "prime256v1");
    EXPECT_EQ(X509_check_private_key(certificate.get(), key.get()), 1);

    int days = 0, seconds = 0;
    ASSERT_EQ(ASN1_TIME_diff(&days, &seconds, X509_get0_notBefore(certificate.get()),
                             X509_get0_notAfter(certificate.get())), 1);
    EXPECT_EQ(days, kCertificateValidDays);
    EXPECT_EQ(seconds, 0);

    struct stat keyInfo {};
    ASSERT_EQ(::stat((dir + "/server.key").c_str(), &keyInfo), 0);
    EXPECT_EQ(keyInfo.st_mode & 0777, 0600u);
}

INSTANTIATE_TEST_SUITE_P(
    Names, MadeCertificate,
    ::testing::Values(NamesCase{"localhost", {"localhost"}, {false}},
                      NamesCase{"pc_name", {"BENCH-PC7"}, {false}},
                      NamesCase{"dns_and_addresses", {"bench7.lab.example", "127.0.0.1", "::1"}, {false, true, true}},
                      NamesCase{"address_first", {"127.0.0.10", "bench7"}, {true, false}},
                      // a DNS name, not the address 127.0.0.1 that OpenSSL's parser reads in it
                      NamesCase{"digits_then_letters", {"127.0.0.1x"}, {false}}),
    [](const ::testing::TestParamInfo<NamesCase>& info) { return std::string(info.param.label); });

struct RefusalCase {
    const char* label;
    std::vector<std::string> names;
    const char* existing; // "cert", "key" or ""
    const char* problem;  // a part of what is said
};

class RefusedCertificate : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusedCertificate, WritesNothingAndLeavesWhatWasThere)
{
    const RefusalCase& c = GetParam();
    const std::string dir = Folder(c.label);
    const std::string cert = dir + "/server.crt", key = dir + "/server.key";
    const std::string existing = std::string(c.existing) == "cert" ? cert : std::string(c.existing) == "key" ? key : "";
    if (!existing.empty())
        std::ofstream(existing) << "kept\n";
    const CertificateOutcome made = MakeSelfSignedCertificate(c.names, cert, key);
    EXPECT_EQ(made.status, kExitUsage);
    EXPECT_NE(made.problem.find(c.problem), std::string::npos) << made.problem;
    for (const std::string& path : {cert, key}) {
        std::ifstream in(path);
        std::string content;
        std::getline(in, content, '\0');
        EXPECT_EQ(content, path == existing ? "kept\n" : "") << path;
        EXPECT_EQ(in.is_open(), path == existing) << path;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, RefusedCertificate,
    ::testing::Values(RefusalCase{"cert_exists", {"localhost"}, "cert", "exists already"},
                      RefusalCase{"key_exists", {"localhost"}, "key", "exists already"},
                      RefusalCase{"no_name", {}, "", "needs a name"},
                      RefusalCase{"empty_name", {""}, "", "an empty name"},
                      RefusalCase{"blank", {"bench pc"}, "", "neither"},
                      RefusalCase{"wildcard", {"*.lab.example"}, "", "neither"},
                      RefusalCase{"underscore", {"bench_pc"}, "", "neither"},
                      RefusalCase{"leading_dash", {"-bench"}, "", "neither"},
                      RefusalCase{"empty_label", {"bench..lab"}, "", "neither"},
                      RefusalCase{"long_label", {std::string(64, 'a')}, "", "neither"},
                      RefusalCase{"address_out_of_range", {"127.0.0.256"}, "", "neither"},
                      RefusalCase{"address_short", {"127.0.0"}, "", "neither"},
                      RefusalCase{"bad_second_name", {"localhost", "bad name"}, "", "neither"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.label); });

} // namespace
