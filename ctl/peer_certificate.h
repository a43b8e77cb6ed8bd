// What set --url tells a user whose TLS handshake failed on the server's
// certificate: OpenSSL's "certificate verify failed" alone says neither
// which name was asked for nor which names the certificate has, and so
// not whether to fix the certificate, serve, or the URL.
#pragma once

#include <memory>
#include <string>

#include <boost/asio/ssl/verify_context.hpp>

class PeerCertificateCheck {
public:
    // host: the name or address the URL gives, which the certificate must carry.
    explicit PeerCertificateCheck(std::string host);

    // The stream's verify callback: the chain as OpenSSL judged it, and the
    // server's own certificate checked against host; what failed is kept.
    bool operator()(bool preverified, boost::asio::ssl::verify_context& context) const;

    // Why the handshake failed, with what to do; "" when it was not the
    // certificate (the handshake's own error then says why).
    std::string Why() const;

private:
    struct Seen {
        std::string chainError;  // OpenSSL's reason the chain is not trusted
        std::string names;       // the server's certificate's names, "a, b"
        bool nameMismatch = false;
    };
    std::string host_;
    std::shared_ptr<Seen> seen_; // shared: the stream keeps a copy of the callback
};
