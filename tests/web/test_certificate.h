// A self-signed RSA certificate for localhost and its key, made when the
// test runs and written into the test's own folder: none kept in the tree.
#pragma once

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

// Writes dir/name.crt and dir/name.key.
inline void WriteSelfSignedCertificate(const std::string& dir, const std::string& name = "bench")
{
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_RSA_gen(2048), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> certificate(X509_new(), X509_free);
    if (!key || !certificate)
        throw std::runtime_error("no key or certificate");
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 24 * 3600);
    X509_set_pubkey(certificate.get(), key.get());
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1,
                               -1, 0);
    X509_set_issuer_name(certificate.get(), subject);
    if (X509_sign(certificate.get(), key.get(), EVP_sha256()) == 0)
        throw std::runtime_error("X509_sign failed");
    std::FILE* crt = std::fopen((dir + "/" + name + ".crt").c_str(), "w");
    std::FILE* pem = std::fopen((dir + "/" + name + ".key").c_str(), "w");
    const bool written = crt && pem && PEM_write_X509(crt, certificate.get()) == 1
                         && PEM_write_PrivateKey(pem, key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 1;
    if (crt)
        std::fclose(crt);
    if (pem)
        std::fclose(pem);
    if (!written)
        throw std::runtime_error("cannot write the certificate or its key");
}
