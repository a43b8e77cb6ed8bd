// One TLS connection between an OpenSSL server and an OpenSSL client of
// this process over 127.0.0.1: the server presents CERT_FILE, the client
// trusts only that certificate and requires it to name EXPECTED_IP.
#pragma once

#include "check.h"

#include <string>

// Passed when the handshake (TLS 1.2 or later) succeeded and one request and
// answer went through; the detail names the protocol and the cipher.
CheckResult tls_loopback(const std::string& cert_file, const std::string& key_file, const std::string& expected_ip);
