#include "tls_context.h"

#include <openssl/ssl.h>

namespace ssl = boost::asio::ssl;

std::shared_ptr<ssl::context> MakeTlsContext(const WebConfig& config, std::string* error)
{
    auto context = std::make_shared<ssl::context>(ssl::context::tls_server);
    SSL_CTX_set_min_proto_version(context->native_handle(), config.minTls13 ? TLS1_3_VERSION : TLS1_2_VERSION);
    context->set_options(ssl::context::default_workarounds | ssl::context::single_dh_use);
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
