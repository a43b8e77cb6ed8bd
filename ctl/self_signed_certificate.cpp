#include "self_signed_certificate.h"

#include <cstdio>
#include <memory>

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "exit_status.h"
#include "new_file.h"

namespace {

constexpr std::size_t kDnsNameMax = 253;
constexpr std::size_t kDnsLabelMax = 63;
constexpr int kSerialBytes = 16;

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Freer<X509, X509_free>>;
using Octets = std::unique_ptr<ASN1_OCTET_STRING, Freer<ASN1_OCTET_STRING, ASN1_OCTET_STRING_free>>;
using Number = std::unique_ptr<BIGNUM, Freer<BIGNUM, BN_free>>;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetterOrDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// OpenSSL's parser takes "1.2.3.4junk" and "01.2.3.4" as 1.2.3.4: an IPv4
// address counts only when it reads back as written.
bool IsIpAddress(const std::string& name)
{
    const Octets address(a2i_IPADDRESS(name.c_str()));
    if (!address)
        return false;
    const unsigned char* bytes = ASN1_STRING_get0_data(address.get());
    if (ASN1_STRING_length(address.get()) != 4)
        return name.find(':') != std::string::npos
               && name.find_first_not_of("0123456789abcdefABCDEF:.") == std::string::npos;
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
    return name == text;
}

bool IsDnsName(const std::string& name)
{
    if (name.size() > kDnsNameMax)
        return false;
    std::size_t start = 0;
    bool lastAllDigits = false;
    for (;;) {
        const std::size_t dot = name.find('.', start);
        const std::string label = name.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
        if (label.empty() || label.size() > kDnsLabelMax || label.front() == '-' || label.back() == '-')
            return false;
        lastAllDigits = true;
        for (const char c : label) {
            if (!IsLetterOrDigit(c) && c != '-')
                return false;
            lastAllDigits = lastAllDigits && IsDigit(c);
        }
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    // No top-level domain is a number: 10.0.0.256 is a mistyped address.
    return !lastAllDigits;
}

bool AddExtension(X509* certificate, int nid, const std::string& value)
{
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
    if (extension == nullptr)
        return false;
    const bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

// No keyUsage: one without keyCertSign would keep OpenSSL from taking the
// certificate as its own issuer, and a client given it as its trust anchor
// would find no issuer.
Certificate SignedCertificate(const std::vector<std::string>& names, EVP_PKEY* key)
{
    Certificate certificate(X509_new());
    unsigned char serial[kSerialBytes];
    if (!certificate || RAND_bytes(serial, sizeof serial) != 1)
        return nullptr;
    serial[0] &= 0x7f; // a positive number, as the serial must be
    const Number number(BN_bin2bn(serial, sizeof serial, nullptr));
    std::string altNames;
    for (const std::string& name : names)
        altNames += (altNames.empty() ? "" : ",") + std::string(IsIpAddress(name) ? "IP:" : "DNS:") + name;
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    const bool made =
        number && X509_set_version(certificate.get(), X509_VERSION_3) == 1
        && BN_to_ASN1_INTEGER(number.get(), X509_get_serialNumber(certificate.get())) != nullptr
        && X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0) != nullptr
        && X509_time_adj_ex(X509_getm_notAfter(certificate.get()), static_cast<int>(kCertificateValidDays), 0,
                            nullptr) != nullptr
        && X509_set_pubkey(certificate.get(), key) == 1
        && X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                      reinterpret_cast<const unsigned char*>(names.front().c_str()), -1, -1, 0) == 1
        && X509_set_issuer_name(certificate.get(), subject) == 1
        && AddExtension(certificate.get(), NID_basic_constraints, "critical,CA:FALSE")
        && AddExtension(certificate.get(), NID_subject_key_identifier, "hash")
        && AddExtension(certificate.get(), NID_authority_key_identifier, "keyid:always")
        && AddExtension(certificate.get(), NID_ext_key_usage, "serverAuth")
        && AddExtension(certificate.get(), NID_subject_alt_name, altNames)
        && X509_sign(certificate.get(), key, EVP_sha256()) > 0;
    return made ? std::move(certificate) : nullptr;
}

// One PEM file, new; false (and no file left) when it could not be written.
template <typename Write>
bool WriteNewFile(const std::string& path, bool ownerOnly, Write write)
{
    std::FILE* file = nullptr;
    if (CreateNewFile(path, ownerOnly, &file) != NewFileResult::kCreated)
        return false;
    const bool written = write(file);
    if (std::fclose(file) == 0 && written)
        return true;
    std::remove(path.c_str());
    return false;
}

} // namespace

std::string CertificateNameProblem(const std::string& name)
{
    if (name.empty())
        return "an empty name";
    if (IsIpAddress(name) || IsDnsName(name))
        return "";
    return "'" + name + "' is neither an IP address nor a DNS name (letters, digits and inner dashes, dot-separated)";
}

CertificateOutcome MakeSelfSignedCertificate(const std::vector<std::string>& names, const std::string& certFile,
                                             const std::string& keyFile)
{
    if (names.empty())
        return {kExitUsage, "the certificate needs a name"};
    for (const std::string& name : names) {
        const std::string problem = CertificateNameProblem(name);
        if (!problem.empty())
            return {kExitUsage, problem + "; nothing was written"};
    }
    if (certFile == keyFile)
        return {kExitUsage, "the certificate and its key need two files; nothing was written"};
    for (const std::string& path : {certFile, keyFile})
        if (PathExists(path))
            return {kExitUsage, path + " exists already; nothing was written (make-certificate never overwrites)"};

    const Key key(EVP_EC_gen("P-256"));
    const Certificate certificate = key ? SignedCertificate(names, key.get()) : nullptr;
    if (!certificate)
        return {kExitFailure, "OpenSSL made no key or certificate"};
    if (!WriteNewFile(keyFile, true, [&](std::FILE* file) {
            return PEM_write_PrivateKey(file, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
        }))
        return {kExitFailure, "cannot write the key to " + keyFile + "; nothing was written"};
    if (!WriteNewFile(certFile, false, [&](std::FILE* file) { return PEM_write_X509(file, certificate.get()) == 1; })) {
        std::remove(keyFile.c_str());
        return {kExitFailure, "cannot write the certificate to " + certFile + "; nothing was written"};
    }
    return {kExitOk, ""};
}
