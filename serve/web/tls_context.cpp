#include "tls_context.h"

#include <openssl/ssl.h>

namespace ssl = boost::asio::ssl;

namespace {

// TLS 1.2's suites with a key exchange of their own for every connection
// (a key taken later opens no recorded session) and an AEAD cipher; every
// suite of TLS 1.3 is such a one already.
constexpr char kTls12Suites[] = "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
                                "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
                                "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305:"
                                "DHE-RSA-AES128-GCM-SHA256:DHE-RSA-AES256-GCM-SHA384:DHE-RSA-CHACHA20-POLY1305";

} // namespace

std::shared_ptr<ssl::context> MakeTlsContext(const WebConfig& config, std::string* error)
{
    auto context = std::make_shared<ssl::context>(ssl::context::tls_server);
    SSL_CTX_set_min_proto_version(context->native_handle(), config.minTls13 ? TLS1_3_VERSION : TLS1_2_VERSION);
    context->set_options(ssl::context::default_workarounds | ssl::context::single_dh_use);
    if (SSL_CTX_set_cipher_list(context->native_handle(), kTls12Suites) != 1) {
        *error = "this OpenSSL has none of the forward-secret TLS 1.2 suites";
        return nullptr;
    }
    // DHE's group from OpenSSL's own, sized to the certificate's key.
    SSL_CTX_set_dh_auto(context->native_handle(), 1);
    boost::system::error_code failed;
    context->use_certificate_chain_file(config.certFile, failed);
    if (failed) {
        *error = "cert_file " + config.certFile + " holds no certificate: " + failed.message();
        return nullptr;
    }
    context->use_private_key_file(config.keyFile, ssl::context::pem, failed);
    if (failed || SSL_CTX_check_private_key(context->native_handle()) != 1) {
        *error = "key_file " + config.keyFile + " holds no private key of the certificate in " + config.certFile;
        return nullptr;
    }
    return context;
}
