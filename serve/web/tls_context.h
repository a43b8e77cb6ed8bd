// The listener's TLS from the web configuration: the certificate chain and
// key it names, TLS 1.2 at least (1.3 if it says so), and in TLS 1.2 only
// forward-secret suites (ECDHE or DHE) with AEAD ciphers.
#pragma once

#include <memory>
#include <string>

#include <boost/asio/ssl/context.hpp>

#include "web_config.h"

// Nothing, and why, when the files do not hold a certificate and its key.
std::shared_ptr<boost::asio::ssl::context> MakeTlsContext(const WebConfig& config, std::string* error);
