#include "http_server.h"

#include <cctype>
#include <cstdio>
#include <list>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "serve_platform.h"
#include "stop_request.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

// The status line's reason for the statuses the server gives itself.
http::status StatusOf(const beast::error_code& parseError)
{
    if (parseError == http::error::header_limit || parseError == http::error::buffer_overflow)
        return http::status::request_header_fields_too_large;
    if (parseError == http::error::body_limit)
        return http::status::payload_too_large;
    return http::status::bad_request;
}

bool IsParseError(const beast::error_code& error)
{
    return error.category() == beast::error_code(http::error::bad_method).category()
           && error != http::error::end_of_stream && error != http::error::partial_message;
}

using Clock = std::chrono::steady_clock;

struct Shared {
    HttpLimits limits;
    HttpRoute route;
};

// The target as a log line may show it: printable ASCII, the rest as \xNN,
// and not more than a line's worth.
std::string Printable(const std::string& text)
{
    std::string shown;
    for (char c : text.substr(0, 200)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            shown += c;
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            shown += hex;
        }
    }
    return shown;
}

HttpRequest PlainRequest(const http::request<http::string_body>& request, const std::string& peer)
{
    HttpRequest plain;
    plain.method = std::string(request.method_string());
    plain.target = std::string(request.target());
    for (const auto& field : request) {
        std::string name(field.name_string());
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        plain.headers.emplace_back(std::move(name), std::string(field.value()));
    }
    plain.body = request.body();
    plain.peer = peer;
    return plain;
}

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, const Shared& shared)
        : stream_(std::move(socket)), shared_(shared),
          buffer_(shared.limits.headerBytes + shared.limits.bodyBytes), progress_(Clock::now())
    {
        beast::error_code unknown;
        const tcp::endpoint remote = stream_.socket().remote_endpoint(unknown);
        if (!unknown)
            peer_ = remote.address().to_string();
    }

    void Begin() { ReadRequest(); }

    bool Closed() const { return closed_; }
    // The last moment this connection got somewhere: accepted, a whole
    // request read, or bytes of an answer taken by the client.
    Clock::time_point Progress() const { return progress_; }

    void Close()
    {
        if (closed_)
            return;
        closed_ = true;
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

private:
    void ReadRequest()
    {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(shared_.limits.headerBytes));
        parser_->body_limit(shared_.limits.bodyBytes);
        stream_.expires_after(shared_.limits.readTime);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnRead(error); });
    }

    void OnRead(const beast::error_code& error)
    {
        if (closed_)
            return;
        if (error) {
            // A malformed or oversized request gets its status and the end of
            // the connection; a vanished or too slow client only the end.
            if (IsParseError(error)) {
                HttpReply reply;
                reply.status = static_cast<int>(StatusOf(error));
                reply.body = std::string(http::obsolete_reason(StatusOf(error))) + "\n";
                Answer(std::move(reply), 11, false, false);
            } else {
                Close();
            }
            return;
        }
        progress_ = Clock::now();
        ++requests_;
        const http::request<http::string_body>& request = parser_->get();
        const HttpRequest plain = PlainRequest(request, peer_);
        HttpReply reply;
        try {
            reply = shared_.route(plain);
        } catch (const std::exception& failure) {
            reply = RouteFailed(plain, failure.what());
        } catch (...) {
            reply = RouteFailed(plain, "an exception of unknown type");
        }
        const bool keepAlive = request.keep_alive() && requests_ < shared_.limits.requestsPerConnection;
        Answer(std::move(reply), request.version(), keepAlive, request.method() == http::verb::head);
    }

    // The body is moved, not copied: an answer of the page's whole hour is
    // held once, by its connection, until written.
    void Answer(HttpReply reply, unsigned version, bool keepAlive, bool headOnly)
    {
        response_.emplace(static_cast<http::status>(reply.status), version);
        response_->set(http::field::server, "korvanthine-ctl");
        response_->set(http::field::content_type, reply.contentType);
        if (!reply.allow.empty())
            response_->set(http::field::allow, reply.allow);
        response_->set(http::field::cache_control, "no-store");
        response_->keep_alive(keepAlive);
        response_->content_length(headOnly && reply.lengthWithoutBody ? *reply.lengthWithoutBody : reply.body.size());
        if (!headOnly)
            response_->body() = std::move(reply.body);
        serializer_.emplace(*response_);
        // One limit for the whole answer, not for each write: a client that
        // reads a byte now and then cannot hold its connection for longer.
        stream_.expires_after(shared_.limits.writeTime);
        WriteSome();
    }

    void WriteSome()
    {
        http::async_write_some(stream_, *serializer_, [self = shared_from_this()](beast::error_code error,
                                                                                  std::size_t written) {
            self->OnWritten(error, written);
        });
    }

    void OnWritten(const beast::error_code& error, std::size_t written)
    {
        if (closed_)
            return;
        if (error) {
            Close();
            return;
        }
        if (written > 0)
            progress_ = Clock::now();
        if (!serializer_->is_done()) {
            WriteSome();
            return;
        }
        const bool keepAlive = response_->keep_alive();
        serializer_.reset();
        response_.reset();
        if (!keepAlive) {
            Close();
            return;
        }
        ReadRequest();
    }

    beast::tcp_stream stream_;
    const Shared& shared_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::optional<http::response<http::string_body>> response_;
    std::optional<http::response_serializer<http::string_body>> serializer_;
    std::string peer_;
    Clock::time_point progress_;
    int requests_ = 0;
    bool closed_ = false;
};

} // namespace

struct HttpServer::Impl {
    Impl(const HttpLimits& limits, HttpRoute route) : shared{limits, std::move(route)} {}

    void Accept()
    {
        acceptor.async_accept([this](beast::error_code error, tcp::socket socket) { OnAccept(error, std::move(socket)); });
    }

    void OnAccept(const beast::error_code& error, tcp::socket socket)
    {
        if (error == asio::error::operation_aborted || !acceptor.is_open())
            return;
        if (error) {
            // Out of descriptors or memory for a moment: give the connection
            // that has made the least progress up for the next one, and try
            // again shortly rather than spin on the same failure.
            if (std::shared_ptr<Session> least = LeastProgress())
                least->Close();
            retry.expires_after(std::chrono::milliseconds(50));
            retry.async_wait([this](beast::error_code waited) {
                if (!waited)
                    Accept();
            });
            return;
        }
        if (OpenSessions() >= shared.limits.connections)
            if (std::shared_ptr<Session> least = LeastProgress())
                least->Close();
        auto session = std::make_shared<Session>(std::move(socket), shared);
        sessions.push_back(session);
        session->Begin();
        Accept();
    }

    // Drops the entries of ended connections; the number still open.
    int OpenSessions()
    {
        int open = 0;
        for (auto it = sessions.begin(); it != sessions.end();) {
            std::shared_ptr<Session> session = it->lock();
            if (!session || session->Closed()) {
                it = sessions.erase(it);
                continue;
            }
            ++open;
            ++it;
        }
        return open;
    }

    // The open connection whose last progress lies furthest back.
    std::shared_ptr<Session> LeastProgress()
    {
        std::shared_ptr<Session> least;
        for (const std::weak_ptr<Session>& weak : sessions) {
            std::shared_ptr<Session> session = weak.lock();
            if (session && !session->Closed() && (!least || session->Progress() < least->Progress()))
                least = session;
        }
        return least;
    }

    void Shutdown()
    {
        beast::error_code ignored;
        acceptor.close(ignored);
        retry.cancel();
        for (const std::weak_ptr<Session>& weak : sessions)
            if (std::shared_ptr<Session> session = weak.lock())
                session->Close();
        sessions.clear();
    }

    Shared shared;
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::steady_timer retry{io};
    // Entries of ended connections are dropped as they are met.
    std::list<std::weak_ptr<Session>> sessions;
    std::thread thread;
};

HttpServer::HttpServer(const HttpLimits& limits, HttpRoute route) : impl_(new Impl(limits, std::move(route))) {}

HttpServer::~HttpServer()
{
    Stop();
}

bool HttpServer::Listen(const std::string& host, int port, std::string* error, std::string* note)
{
    const auto portNumber = static_cast<unsigned short>(port);
    tcp::endpoint endpoint;
    if (host.empty()) {
        endpoint = tcp::endpoint(tcp::v6(), portNumber);
    } else {
        beast::error_code bad;
        const asio::ip::address address = asio::ip::make_address(host == "localhost" ? "127.0.0.1" : host, bad);
        if (bad) {
            *error = "'" + host + "' is not an IP address";
            return false;
        }
        endpoint = tcp::endpoint(address, portNumber);
    }
    tcp::acceptor& acceptor = impl_->acceptor;
    beast::error_code failed;
    acceptor.open(endpoint.protocol(), failed);
    if (failed && host.empty() && failed == asio::error::address_family_not_supported) {
        // A system built without IPv6: all interfaces are its IPv4 ones.
        *note = "this system has no IPv6; listening on IPv4 alone";
        endpoint = tcp::endpoint(tcp::v4(), portNumber);
        failed.clear();
        acceptor.open(endpoint.protocol(), failed);
    }
    // Both families on one socket, or nothing: another program on either
    // family's wildcard makes the bind fail rather than leave that family's
    // clients to it.
    if (!failed && host.empty() && endpoint.address().is_v6())
        acceptor.set_option(asio::ip::v6_only(false), failed);
    if (!failed && ReuseListenAddress())
        acceptor.set_option(asio::socket_base::reuse_address(true), failed);
    if (!failed)
        acceptor.bind(endpoint, failed);
    if (!failed)
        acceptor.listen(asio::socket_base::max_listen_connections, failed);
    if (!failed)
        return true;
    *error = failed.message();
    beast::error_code ignored;
    acceptor.close(ignored);
    return false;
}

std::string HttpServer::Where() const
{
    beast::error_code failed;
    const tcp::endpoint endpoint = impl_->acceptor.local_endpoint(failed);
    if (failed)
        return "";
    const std::string address = endpoint.address().to_string();
    return (endpoint.address().is_v6() ? "[" + address + "]" : address) + ":" + std::to_string(endpoint.port());
}

void HttpServer::Start()
{
    impl_->Accept();
    impl_->thread = StartThreadWithoutStopSignals([this] { impl_->io.run(); });
}

void HttpServer::Stop()
{
    if (!impl_->thread.joinable())
        return;
    // On the server's own thread; what is left of the closed connections'
    // handlers goes with the io_context.
    asio::post(impl_->io, [this] {
        impl_->Shutdown();
        impl_->io.stop();
    });
    impl_->thread.join();
}

HttpReply RouteFailed(const HttpRequest& request, const char* reason)
{
    // Bounded, so that a client cannot grow it either.
    static std::mutex mutex;
    static std::set<std::string> logged;
    const std::string key = std::string(reason).substr(0, 200);
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (logged.size() < 100 && logged.insert(key).second)
            std::fprintf(stderr, "korvanthine-ctl: answering %s %s failed: %s (answered 500; the same failure is not "
                                 "logged again)\n",
                         Printable(request.method).c_str(), Printable(request.target).c_str(), Printable(key).c_str());
    }
    HttpReply reply;
    reply.status = 500;
    reply.body = "Internal server error: this request could not be answered.\n";
    return reply;
}
