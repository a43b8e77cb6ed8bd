#include "http_server.h"

#include <list>
#include <optional>
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

class Session;

struct Shared {
    HttpLimits limits;
    HttpRoute route;
};

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, const Shared& shared)
        : stream_(std::move(socket)), shared_(shared),
          buffer_(shared.limits.headerBytes + shared.limits.bodyBytes)
    {
    }

    void Begin() { ReadRequest(); }

    // Waiting for (or in the middle of receiving) a request: may give way.
    bool Waiting() const { return waiting_ && !closed_; }
    bool Closed() const { return closed_; }

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
        waiting_ = true;
        stream_.expires_after(shared_.limits.readTime);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnRead(error); });
    }

    void OnRead(const beast::error_code& error)
    {
        waiting_ = false;
        if (closed_)
            return;
        if (error) {
            // A malformed or oversized request gets its status and the end of
            // the connection; a vanished or too slow client only the end.
            if (IsParseError(error))
                Answer(StatusOf(error), "text/plain; charset=utf-8", std::string(http::obsolete_reason(StatusOf(error))) + "\n",
                       "", 11, false, false);
            else
                Close();
            return;
        }
        const http::request<http::string_body>& request = parser_->get();
        const std::string method(request.method_string());
        const HttpReply reply = shared_.route(method, std::string(request.target()));
        Answer(static_cast<http::status>(reply.status), reply.contentType, reply.body, reply.allow, request.version(),
               request.keep_alive(), request.method() == http::verb::head);
    }

    void Answer(http::status status, const std::string& contentType, const std::string& body, const std::string& allow,
                unsigned version, bool keepAlive, bool headOnly)
    {
        response_.emplace(status, version);
        response_->set(http::field::server, "korvanthine-ctl");
        response_->set(http::field::content_type, contentType);
        if (!allow.empty())
            response_->set(http::field::allow, allow);
        response_->set(http::field::cache_control, "no-store");
        response_->keep_alive(keepAlive);
        if (!headOnly)
            response_->body() = body;
        response_->content_length(body.size());
        stream_.expires_after(shared_.limits.writeTime);
        http::async_write(stream_, *response_,
                          [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnWritten(error); });
    }

    void OnWritten(const beast::error_code& error)
    {
        const bool keepAlive = response_->keep_alive();
        response_.reset();
        if (closed_)
            return;
        if (error || !keepAlive) {
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
    bool waiting_ = false;
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
            // Out of descriptors or memory for a moment: try again shortly
            // rather than spin on the same failure.
            retry.expires_after(std::chrono::milliseconds(50));
            retry.async_wait([this](beast::error_code waited) {
                if (!waited)
                    Accept();
            });
            return;
        }
        if (MakeRoom()) {
            auto session = std::make_shared<Session>(std::move(socket), shared);
            sessions.push_back(session);
            session->Begin();
        } else {
            beast::error_code ignored;
            socket.close(ignored);
        }
        Accept();
    }

    // True when there is room for one more connection, if need be by closing
    // the one that has waited longest for its request.
    bool MakeRoom()
    {
        int open = 0;
        std::shared_ptr<Session> oldestWaiting;
        for (auto it = sessions.begin(); it != sessions.end();) {
            std::shared_ptr<Session> session = it->lock();
            if (!session || session->Closed()) {
                it = sessions.erase(it);
                continue;
            }
            ++open;
            if (!oldestWaiting && session->Waiting())
                oldestWaiting = session;
            ++it;
        }
        if (open < shared.limits.connections)
            return true;
        if (!oldestWaiting)
            return false;
        oldestWaiting->Close();
        return true;
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
    // Oldest first; entries of ended connections are dropped as they are met.
    std::list<std::weak_ptr<Session>> sessions;
    std::thread thread;
};

HttpServer::HttpServer(const HttpLimits& limits, HttpRoute route) : impl_(new Impl(limits, std::move(route))) {}

HttpServer::~HttpServer()
{
    Stop();
}

bool HttpServer::Listen(const std::string& host, int port, std::string* error)
{
    std::vector<tcp::endpoint> candidates;
    if (host.empty()) {
        candidates.emplace_back(tcp::v6(), static_cast<unsigned short>(port));
        candidates.emplace_back(tcp::v4(), static_cast<unsigned short>(port));
    } else {
        beast::error_code bad;
        const asio::ip::address address = asio::ip::make_address(host == "localhost" ? "127.0.0.1" : host, bad);
        if (bad) {
            *error = "'" + host + "' is not an IP address";
            return false;
        }
        candidates.emplace_back(address, static_cast<unsigned short>(port));
    }
    for (const tcp::endpoint& endpoint : candidates) {
        beast::error_code failed;
        tcp::acceptor& acceptor = impl_->acceptor;
        acceptor.open(endpoint.protocol(), failed);
        if (!failed && endpoint.address().is_v6() && host.empty())
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
    }
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
