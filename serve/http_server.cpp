#include "http_server.h"

#include <algorithm>
#include <cstdio>
#include <atomic>
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
#include <boost/asio/thread_pool.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#ifdef KORVANTHINE_TLS
#include <boost/asio/ssl.hpp>
#include <boost/beast/ssl.hpp>
#endif

#include "ascii_lower.h"
#include "log_text.h"
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
    asio::thread_pool* workers = nullptr;
    std::atomic<int> deferred{0};
    asio::thread_pool* lineWorkers = nullptr;
    std::atomic<int> onLine{0};
};

// The target as a log line may show it.
std::string Printable(const std::string& text)
{
    return LogText(text);
}

HttpRequest PlainRequest(const http::request<http::string_body>& request, const std::string& peer, bool tls)
{
    HttpRequest plain;
    plain.method = std::string(request.method_string());
    plain.target = std::string(request.target());
    for (const auto& field : request) {
        plain.headers.emplace_back(AsciiLower(std::string(field.name_string())), std::string(field.value()));
    }
    plain.body = request.body();
    plain.peer = peer;
    plain.tls = tls;
    plain.version = request.version();
    return plain;
}

// What the server keeps of a connection, plain or TLS.
class Connection {
public:
    virtual ~Connection() = default;
    virtual bool Closed() const = 0;
    // The last moment this connection got somewhere: accepted, a whole
    // request read, or bytes of an answer taken by the client.
    virtual Clock::time_point Progress() const = 0;
    // A worker is making its answer (a password check, a write on the line).
    virtual bool AnswerUnderWay() const = 0;
    virtual void Close() = 0;
};

template <class Stream>
class Session : public Connection, public std::enable_shared_from_this<Session<Stream>> {
public:
    template <class... StreamArgs>
    Session(Shared& shared, tcp::socket socket, StreamArgs&... streamArgs)
        : stream_(std::move(socket), streamArgs...), shared_(shared),
          buffer_(shared.limits.headerBytes + shared.limits.bodyBytes), progress_(Clock::now())
    {
        beast::error_code unknown;
        const tcp::endpoint remote = Lowest().socket().remote_endpoint(unknown);
        if (!unknown)
            peer_ = remote.address().to_string();
    }

    void Begin()
    {
#ifdef KORVANTHINE_TLS
        if constexpr (kTls) {
            // The handshake within the time a request has to arrive.
            Lowest().expires_after(shared_.limits.readTime);
            stream_.async_handshake(asio::ssl::stream_base::server,
                                    [self = this->shared_from_this()](beast::error_code error) {
                                        if (self->closed_)
                                            return;
                                        if (error)
                                            self->Close();
                                        else
                                            self->ReadRequest();
                                    });
            return;
        }
#endif
        ReadRequest();
    }

    bool Closed() const override { return closed_; }
    // What the stream needs for as long as the connection lasts.
    void KeepAlive(std::shared_ptr<void> held) { held_ = std::move(held); }
    Clock::time_point Progress() const override { return progress_; }
    bool AnswerUnderWay() const override { return underWay_; }

    void Close() override
    {
        if (closed_)
            return;
        closed_ = true;
        beast::error_code ignored;
        Lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        Lowest().close();
    }

private:
#ifdef KORVANTHINE_TLS
    static constexpr bool kTls = !std::is_same_v<Stream, beast::tcp_stream>;
#else
    static constexpr bool kTls = false;
#endif

    beast::tcp_stream& Lowest() { return beast::get_lowest_layer(stream_); }

    void ReadRequest()
    {
        parser_.emplace();
        parser_->header_limit(static_cast<std::uint32_t>(shared_.limits.headerBytes));
        parser_->body_limit(std::max(shared_.limits.bodyBytes, shared_.limits.largeBodyBytes));
        Lowest().expires_after(shared_.limits.readTime);
        http::async_read_header(stream_, buffer_, *parser_, [self = this->shared_from_this()](beast::error_code error,
                                                                                              std::size_t) {
            self->OnHeader(error);
        });
    }

    // The body's bound by the path, once the header names it.
    void OnHeader(const beast::error_code& error)
    {
        if (closed_)
            return;
        if (error) {
            OnRead(error);
            return;
        }
        const std::string target(parser_->get().target());
        if (target.substr(0, target.find('?')) != shared_.limits.largeBodyPath) {
            const boost::optional<std::uint64_t> length = parser_->content_length();
            if (length && *length > shared_.limits.bodyBytes) {
                OnRead(http::error::body_limit);
                return;
            }
            parser_->body_limit(shared_.limits.bodyBytes);
        }
        http::async_read(stream_, buffer_, *parser_,
                         [self = this->shared_from_this()](beast::error_code error, std::size_t) { self->OnRead(error); });
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
        const HttpRequest plain = PlainRequest(request, peer_, kTls);
        HttpReply reply = Routed(plain, shared_.route);
        const bool keepAlive = request.keep_alive() && requests_ < shared_.limits.requestsPerConnection;
        const bool headOnly = request.method() == http::verb::head;
        if (reply.deferred) {
            Defer(std::move(reply.deferred), reply.deferredOnLine, plain, request.version(), keepAlive, headOnly);
            return;
        }
        Answer(std::move(reply), request.version(), keepAlive, headOnly);
    }

    template <class Route>
    static HttpReply Routed(const HttpRequest& plain, const Route& route)
    {
        try {
            return route(plain);
        } catch (const std::exception& failure) {
            return RouteFailed(plain, failure.what());
        } catch (...) {
            return RouteFailed(plain, "an exception of unknown type");
        }
    }

    // The work runs on a worker; its answer comes back to this thread. A
    // connection closed meanwhile gets nothing.
    void Defer(std::function<HttpReply()> work, bool onLine, const HttpRequest& plain, unsigned version,
               bool keepAlive, bool headOnly)
    {
        asio::thread_pool* const pool = onLine ? shared_.lineWorkers : shared_.workers;
        std::atomic<int>& count = onLine ? shared_.onLine : shared_.deferred;
        const int atOnce = onLine ? shared_.limits.onLineAtOnce : shared_.limits.deferredAtOnce;
        if (pool == nullptr || count.fetch_add(1) >= atOnce) {
            if (pool != nullptr)
                --count;
            HttpReply busy;
            busy.status = 503;
            busy.body = "Busy: too many requests are waiting; try again shortly.\n";
            busy.fields.emplace_back("Retry-After", "1");
            Answer(std::move(busy), version, keepAlive, headOnly);
            return;
        }
        underWay_ = true;
        asio::post(*pool, [self = this->shared_from_this(), work = std::move(work), plain, version, keepAlive,
                           headOnly, &count]() mutable {
            HttpReply reply = Routed(plain, [&work](const HttpRequest&) { return work(); });
            --count;
            asio::post(self->stream_.get_executor(), [self, reply = std::move(reply), plain, version, keepAlive,
                                                      headOnly]() mutable {
                self->underWay_ = false;
                if (self->closed_)
                    return;
                // A password check whose answer waits for the line: on to the line's queue.
                if (reply.deferred) {
                    self->Defer(std::move(reply.deferred), reply.deferredOnLine, plain, version, keepAlive, headOnly);
                    return;
                }
                // A failed password check is answered no sooner than the
                // costliest would be, on a timer: the worker is free at once.
                if (reply.notBefore > Clock::now()) {
                    auto timer = std::make_shared<asio::steady_timer>(self->stream_.get_executor(), reply.notBefore);
                    timer->async_wait([self, timer, reply = std::move(reply), version, keepAlive,
                                       headOnly](beast::error_code) mutable {
                        if (!self->closed_)
                            self->Answer(std::move(reply), version, keepAlive, headOnly);
                    });
                    return;
                }
                self->Answer(std::move(reply), version, keepAlive, headOnly);
            });
        });
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
        for (const auto& [name, value] : reply.fields)
            response_->set(name, value);
        response_->set(http::field::cache_control, "no-store");
        response_->keep_alive(keepAlive);
        response_->content_length(headOnly && reply.lengthWithoutBody ? *reply.lengthWithoutBody : reply.body.size());
        if (!headOnly)
            response_->body() = std::move(reply.body);
        serializer_.emplace(*response_);
        // One limit for the whole answer, not for each write: a client that
        // reads a byte now and then cannot hold its connection for longer.
        Lowest().expires_after(shared_.limits.writeTime);
        WriteSome();
    }

    void WriteSome()
    {
        http::async_write_some(stream_, *serializer_, [self = this->shared_from_this()](beast::error_code error,
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

    std::shared_ptr<void> held_; // before the stream: it goes after it
    Stream stream_;
    Shared& shared_;
    beast::flat_buffer buffer_;
    std::optional<http::request_parser<http::string_body>> parser_;
    std::optional<http::response<http::string_body>> response_;
    std::optional<http::response_serializer<http::string_body>> serializer_;
    std::string peer_;
    Clock::time_point progress_;
    int requests_ = 0;
    bool closed_ = false;
    bool underWay_ = false;
};

#ifdef KORVANTHINE_TLS
using TlsStream = beast::ssl_stream<beast::tcp_stream>;
#endif

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
            if (std::shared_ptr<Connection> least = LeastProgress())
                least->Close();
            retry.expires_after(std::chrono::milliseconds(50));
            retry.async_wait([this](beast::error_code waited) {
                if (!waited)
                    Accept();
            });
            return;
        }
        if (OpenSessions() >= shared.limits.connections)
            if (std::shared_ptr<Connection> least = LeastProgress())
                least->Close();
#ifdef KORVANTHINE_TLS
        if (tls) {
            std::shared_ptr<asio::ssl::context> context = tls();
            if (context) {
                auto session = std::make_shared<Session<TlsStream>>(shared, std::move(socket), *context);
                session->KeepAlive(std::move(context));
                sessions.push_back(session);
                session->Begin();
            }
            Accept();
            return;
        }
#endif
        auto session = std::make_shared<Session<beast::tcp_stream>>(shared, std::move(socket));
        sessions.push_back(session);
        session->Begin();
        Accept();
    }

    // Drops the entries of ended connections; the number still open.
    int OpenSessions()
    {
        int open = 0;
        for (auto it = sessions.begin(); it != sessions.end();) {
            std::shared_ptr<Connection> session = it->lock();
            if (!session || session->Closed()) {
                it = sessions.erase(it);
                continue;
            }
            ++open;
            ++it;
        }
        return open;
    }

    // The open connection whose last progress lies furthest back. One whose
    // answer a worker is still making is passed over while such connections
    // hold less than half the places: its client has done all it can, and
    // closing it would drop the answer to a write that has gone out to the
    // line. The other half still gives way to fresh scrapes.
    std::shared_ptr<Connection> LeastProgress()
    {
        std::shared_ptr<Connection> least, leastUnderWay;
        int underWay = 0;
        for (const std::weak_ptr<Connection>& weak : sessions) {
            std::shared_ptr<Connection> session = weak.lock();
            if (!session || session->Closed())
                continue;
            std::shared_ptr<Connection>& slot = session->AnswerUnderWay() ? leastUnderWay : least;
            underWay += session->AnswerUnderWay() ? 1 : 0;
            if (!slot || session->Progress() < slot->Progress())
                slot = session;
        }
        if (least && underWay * 2 < shared.limits.connections)
            return least;
        if (least && leastUnderWay)
            return least->Progress() <= leastUnderWay->Progress() ? least : leastUnderWay;
        return least ? least : leastUnderWay;
    }

    void Shutdown()
    {
        beast::error_code ignored;
        acceptor.close(ignored);
        retry.cancel();
        for (const std::weak_ptr<Connection>& weak : sessions)
            if (std::shared_ptr<Connection> session = weak.lock())
                session->Close();
        sessions.clear();
    }

    Shared shared;
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    asio::steady_timer retry{io};
    // Entries of ended connections are dropped as they are met.
    std::list<std::weak_ptr<Connection>> sessions;
    TlsContextSource tls;
    // Made on the server's thread, so that its threads too leave the stop
    // signals to the main thread.
    std::unique_ptr<asio::thread_pool> workers;
    std::unique_ptr<asio::thread_pool> lineWorkers;
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
    impl_->thread = StartThreadWithoutStopSignals([this] {
        impl_->workers = std::make_unique<asio::thread_pool>(static_cast<std::size_t>(impl_->shared.limits.workers));
        impl_->shared.workers = impl_->workers.get();
        impl_->lineWorkers =
            std::make_unique<asio::thread_pool>(static_cast<std::size_t>(impl_->shared.limits.lineWorkers));
        impl_->shared.lineWorkers = impl_->lineWorkers.get();
        impl_->io.run();
    });
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
    // What waits for a worker is dropped; a deferred answer under way ends
    // by itself (the line's queue is closed first, and a password check is
    // bounded by the configuration's highest cost); its reply goes nowhere.
    for (asio::thread_pool* pool : {impl_->workers.get(), impl_->lineWorkers.get()})
        if (pool != nullptr) {
            pool->stop();
            pool->join();
        }
}

bool HttpServer::UseTls(TlsContextSource tls)
{
#ifdef KORVANTHINE_TLS
    impl_->tls = std::move(tls);
    return true;
#else
    (void)tls;
    return false;
#endif
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
