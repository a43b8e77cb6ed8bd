#include "tls_loopback.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <memory>
#include <thread>

namespace {

// Every wait of either side ends within this: a fault shows as a failed
// check, never as a hung program.
constexpr DWORD kIoLimitMs = 15000;
constexpr char kRequest[] = "ping";
constexpr char kAnswer[] = "pong";

using Context = std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)>;
using Connection = std::unique_ptr<SSL, decltype(&SSL_free)>;

class Socket {
public:
    explicit Socket(SOCKET s = INVALID_SOCKET) : s_(s) {}
    ~Socket() {
        if (s_ != INVALID_SOCKET) closesocket(s_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return s_; }
    bool valid() const { return s_ != INVALID_SOCKET; }

private:
    SOCKET s_;
};

std::string openssl_errors() {
    std::string text;
    for (unsigned long e = ERR_get_error(); e != 0; e = ERR_get_error()) {
        char line[256];
        ERR_error_string_n(e, line, sizeof line);
        if (!text.empty()) text += "; ";
        text += line;
    }
    return text.empty() ? "no OpenSSL error queued" : text;
}

void limit_io(SOCKET s) {
    DWORD ms = kIoLimitMs;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&ms), sizeof ms);
}

sockaddr_in loopback(u_short port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Reads exactly SIZE bytes; false when the peer closed or failed first.
bool read_exactly(SSL* ssl, char* buffer, int size) {
    for (int got = 0; got < size;) {
        int n = SSL_read(ssl, buffer + got, size - got);
        if (n <= 0) return false;
        got += n;
    }
    return true;
}

// The server's side: one connection, one request, one answer.
CheckResult serve_once(SOCKET listener, SSL_CTX* context) {
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener, &ready);
    timeval limit{static_cast<long>(kIoLimitMs / 1000), 0};
    if (select(0, &ready, nullptr, nullptr, &limit) != 1) return {false, "server: no connection came"};
    Socket peer(accept(listener, nullptr, nullptr));
    if (!peer.valid()) return {false, "server: accept failed: " + std::to_string(WSAGetLastError())};
    limit_io(peer.get());
    Connection ssl(SSL_new(context), SSL_free);
    if (!ssl || SSL_set_fd(ssl.get(), static_cast<int>(peer.get())) != 1) return {false, "server: " + openssl_errors()};
    if (SSL_accept(ssl.get()) != 1) return {false, "server: handshake failed: " + openssl_errors()};
    char request[sizeof kRequest - 1];
    if (!read_exactly(ssl.get(), request, sizeof request)) return {false, "server: no request"};
    if (std::memcmp(request, kRequest, sizeof request) != 0) return {false, "server: another request came"};
    if (SSL_write(ssl.get(), kAnswer, sizeof kAnswer - 1) != sizeof kAnswer - 1)
        return {false, "server: answer not sent: " + openssl_errors()};
    SSL_shutdown(ssl.get());
    return {true, ""};
}

CheckResult client_once(u_short port, const std::string& cert_file, const std::string& expected_ip) {
    Context context(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
    if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1 ||
        SSL_CTX_load_verify_locations(context.get(), cert_file.c_str(), nullptr) != 1)
        return {false, "client: " + openssl_errors()};
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_PEER, nullptr);
    Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = loopback(port);
    if (!s.valid() || connect(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return {false, "client: connect failed: " + std::to_string(WSAGetLastError())};
    limit_io(s.get());
    Connection ssl(SSL_new(context.get()), SSL_free);
    if (!ssl || SSL_set_fd(ssl.get(), static_cast<int>(s.get())) != 1 ||
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl.get()), expected_ip.c_str()) != 1)
        return {false, "client: " + openssl_errors()};
    if (SSL_connect(ssl.get()) != 1) {
        long verdict = SSL_get_verify_result(ssl.get());
        std::string why = verdict != X509_V_OK ? X509_verify_cert_error_string(verdict) : openssl_errors();
        return {false, "client: handshake failed: " + why};
    }
    if (SSL_write(ssl.get(), kRequest, sizeof kRequest - 1) != sizeof kRequest - 1)
        return {false, "client: request not sent: " + openssl_errors()};
    char answer[sizeof kAnswer - 1];
    if (!read_exactly(ssl.get(), answer, sizeof answer) || std::memcmp(answer, kAnswer, sizeof answer) != 0)
        return {false, "client: no answer"};
    std::string detail = std::string(SSL_get_version(ssl.get())) + " " + SSL_get_cipher_name(ssl.get());
    SSL_shutdown(ssl.get());
    return {true, detail};
}

}  // namespace

CheckResult tls_loopback(const std::string& cert_file, const std::string& key_file, const std::string& expected_ip) {
    Context context(SSL_CTX_new(TLS_server_method()), SSL_CTX_free);
    if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1 ||
        SSL_CTX_use_certificate_chain_file(context.get(), cert_file.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context.get(), key_file.c_str(), SSL_FILETYPE_PEM) != 1)
        return {false, "server: " + openssl_errors()};

    Socket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address = loopback(0);
    int length = sizeof address;
    if (!listener.valid() || bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener.get(), 1) != 0 ||
        getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {false, "server: no listening socket: " + std::to_string(WSAGetLastError())};

    CheckResult server;
    std::thread server_thread([&] { server = serve_once(listener.get(), context.get()); });
    CheckResult client = client_once(ntohs(address.sin_port), cert_file, expected_ip);
    server_thread.join();
    if (!client.passed) return client;
    if (!server.passed) return server;
    return client;
}
