#include "peer_certificate.h"

#include <algorithm>
#include <utility>

#include <boost/asio/ip/address.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <openssl/x509v3.h>

namespace {

// The names a certificate is for: its subjectAltName's DNS names and IP
// addresses, or else its subject's common name, which clients no longer
// match but which tells the user what the certificate was made for.
std::string CertificateNames(X509* cert)
{
    std::string names;
    const auto add = [&names](const std::string& name) { names += (names.empty() ? "" : ", ") + name; };
    auto* alt = static_cast<GENERAL_NAMES*>(X509_get_ext_d2i(cert, NID_subject_alt_name, nullptr, nullptr));
    for (int i = 0; alt != nullptr && i < sk_GENERAL_NAME_num(alt) && i < 16; ++i) {
        const GENERAL_NAME* name = sk_GENERAL_NAME_value(alt, i);
        if (name->type == GEN_DNS) {
            const ASN1_STRING* text = name->d.dNSName;
            add(std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(text)),
                            static_cast<std::size_t>(ASN1_STRING_length(text))));
        } else if (name->type == GEN_IPADD) {
            const ASN1_OCTET_STRING* address = name->d.iPAddress;
            const int length = ASN1_STRING_length(address);
            const unsigned char* bytes = ASN1_STRING_get0_data(address);
            if (length == 4) {
                boost::asio::ip::address_v4::bytes_type v4;
                std::copy(bytes, bytes + 4, v4.begin());
                add(boost::asio::ip::address_v4(v4).to_string());
            } else if (length == 16) {
                boost::asio::ip::address_v6::bytes_type v6;
                std::copy(bytes, bytes + 16, v6.begin());
                add(boost::asio::ip::address_v6(v6).to_string());
            }
        }
    }
    GENERAL_NAMES_free(alt);
    if (!names.empty())
        return names;
    char common[256] = {};
    if (X509_NAME_get_text_by_NID(X509_get_subject_name(cert), NID_commonName, common, sizeof common) > 0)
        return std::string(common) + " (common name only, no subjectAltName)";
    return "";
}

} // namespace

PeerCertificateCheck::PeerCertificateCheck(std::string host) : host_(std::move(host)), seen_(std::make_shared<Seen>()) {}

bool PeerCertificateCheck::operator()(bool preverified, boost::asio::ssl::verify_context& context) const
{
    X509_STORE_CTX* store = context.native_handle();
    if (!preverified && seen_->chainError.empty())
        seen_->chainError = X509_verify_cert_error_string(X509_STORE_CTX_get_error(store));
    const bool accepted = boost::asio::ssl::host_name_verification(host_)(preverified, context);
    if (X509_STORE_CTX_get_error_depth(store) == 0) {
        if (X509* cert = X509_STORE_CTX_get_current_cert(store))
            seen_->names = CertificateNames(cert);
        seen_->nameMismatch = preverified && !accepted;
    }
    return accepted;
}

std::string PeerCertificateCheck::Why() const
{
    if (seen_->nameMismatch)
        return "the server's certificate is for " + (seen_->names.empty() ? std::string("no name") : seen_->names)
               + ", not for " + host_ + ": connect by a name the certificate has, or give serve a certificate whose "
               "subjectAltName has " + host_ + " (and let serve answer to it with --web.allowed-host " + host_ + ")";
    if (!seen_->chainError.empty())
        return "the server's certificate" + (seen_->names.empty() ? std::string() : " (for " + seen_->names + ")")
               + " is not trusted: " + seen_->chainError
               + "; give the certificate of the authority that signed it with --ca-file";
    return "";
}
