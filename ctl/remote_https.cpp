// set --url over TLS with Boost.Beast's SSL stream. The password comes from
// a file or from the terminal with echo off, never from the command line,
// and goes nowhere but into the request's Authorization header.
//
// Every phase has a deadline of its own, inside one for the whole, so that
// a server that takes the connection and then says nothing cannot keep a
// script waiting; and a stop signal ends the command at once, saying
// whether the write could have reached serve.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/core/detail/base64.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <nlohmann/json.hpp>
#include <openssl/crypto.h>

#include "exit_status.h"
#include "peer_certificate.h"
#include "quiet_terminal.h"
#include "remote_set.h"
#include "standard_output.h"
#include "stop_request.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::seconds;

// A bench answers its name and its handshake in well under a second; the
// answer waits for three exchanges at their longest, and more.
constexpr auto kConnectWithin = seconds(10); // name lookup and TCP connection
constexpr auto kHandshakeWithin = seconds(10);
constexpr auto kRequestWithin = seconds(10);
constexpr auto kAnswerWithin = seconds(60);
constexpr auto kAllWithin = seconds(60);
constexpr auto kCloseWithin = seconds(2);
// How often a stop request is looked at while a phase waits.
constexpr auto kStopLookEvery = std::chrono::milliseconds(50);

std::string Seconds(Clock::duration span)
{
    return std::to_string(std::chrono::duration_cast<seconds>(span).count()) + " s";
}

enum class PhaseEnd { kDone, kFailed, kTimedOut, kStopped };

using Endpoints = asio::ip::tcp::resolver::results_type;

// The system's name lookup cannot be cancelled: it runs on a thread of its
// own, which is left behind when its deadline passes or a stop comes.
struct NameLookup {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    beast::error_code error;
    Endpoints endpoints;
};

PhaseEnd LookUp(const std::string& host, const std::string& port, Clock::time_point by, Endpoints* endpoints,
                beast::error_code* error)
{
    auto lookup = std::make_shared<NameLookup>();
    StartThreadWithoutStopSignals([lookup, host, port] {
        asio::io_context io;
        asio::ip::tcp::resolver resolver(io);
        beast::error_code failed;
        Endpoints found = resolver.resolve(host, port, failed);
        const std::lock_guard<std::mutex> lock(lookup->mutex);
        lookup->error = failed;
        lookup->endpoints = std::move(found);
        lookup->finished = true;
        lookup->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(lookup->mutex);
    while (!lookup->done.wait_for(lock, kStopLookEvery, [&] { return lookup->finished; })) {
        if (StopRequested())
            return PhaseEnd::kStopped;
        if (Clock::now() >= by)
            return PhaseEnd::kTimedOut;
    }
    *error = lookup->error;
    *endpoints = lookup->endpoints;
    return *error ? PhaseEnd::kFailed : PhaseEnd::kDone;
}

// Runs one asynchronous operation on the stream to its end, its deadline,
// or a stop request, whichever comes first. start is given the handler.
template <typename Start>
PhaseEnd RunPhase(asio::io_context& io, beast::tcp_stream& lowest, Clock::time_point by, Start start,
                  beast::error_code* error)
{
    bool finished = false;
    lowest.expires_at(by);
    start([&finished, error](beast::error_code ec, auto&&...) {
        *error = ec;
        finished = true;
    });
    bool stopped = false;
    while (!finished) {
        if (!stopped && StopRequested()) {
            // The operation ends at once with the socket; its handler must
            // still run before this frame goes.
            stopped = true;
            lowest.close();
        }
        io.restart();
        io.run_for(kStopLookEvery);
    }
    if (stopped)
        return PhaseEnd::kStopped;
    if (*error == beast::error::timeout)
        return PhaseEnd::kTimedOut;
    return *error ? PhaseEnd::kFailed : PhaseEnd::kDone;
}

bool ReadPassword(const CtlRequest& request, std::string* password)
{
    if (!request.passwordFile.empty()) {
        std::ifstream file(request.passwordFile);
        if (!file || !std::getline(file, *password)) {
            std::fprintf(stderr, "korvanthine-ctl: --password-file %s cannot be read\n", request.passwordFile.c_str());
            return false;
        }
        if (!password->empty() && password->back() == '\r')
            password->pop_back();
        return true;
    }
    const TerminalAnswer asked = AskAtOwnTerminal("Password for " + request.user + ": ", password);
    if (asked == TerminalAnswer::kNoTerminal)
        std::fprintf(stderr, "korvanthine-ctl: no terminal to ask for %s's password: give --password-file\n",
                     request.user.c_str());
    return asked == TerminalAnswer::kRead;
}

std::string BasicAuthorization(const std::string& user, std::string password)
{
    std::string plain = user + ":" + password;
    std::string encoded(beast::detail::base64::encoded_size(plain.size()), '\0');
    encoded.resize(beast::detail::base64::encode(encoded.data(), plain.data(), plain.size()));
    OPENSSL_cleanse(plain.data(), plain.size());
    OPENSSL_cleanse(password.data(), password.size());
    return "Basic " + encoded;
}

// The exit status a local set would end with for the same outcome.
// The first line of a plain answer, as a message may show it.
std::string FirstLine(const std::string& body)
{
    std::string line = body.substr(0, body.find('\n'));
    if (line.size() > 300)
        line.resize(300);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    return line;
}

int ExitStatusFor(unsigned status, const nlohmann::json& answer)
{
    switch (status) {
    case 200:
        return kExitOk;
    case 400:
        return kExitUsage;
    case 409:
        return answer.contains("written") ? kExitReadBackMismatch : kExitIncompleteReply;
    case 422:
        return kExitRefusedByLimits;
    case 503:
        return kExitIncompleteReply;
    default:
        return kExitPortNotOpened; // the bench's controller could not be reached for writing
    }
}

std::string SettingsLine(int channel, const nlohmann::json& answer)
{
    const nlohmann::json& enable = answer.value("output_enable", nlohmann::json());
    std::string enableText = "output enable " + enable.dump();
    if (enable == "ENABLE")
        enableText = "output enabled";
    else if (enable == "DISABLE")
        enableText = "output disabled";
    return "channel " + std::to_string(channel) + ": set temperature " + answer.value("set_temperature", "?")
           + " °C, " + enableText + "\n";
}

} // namespace

int ReadRemotePassword(const CtlRequest& request, std::string* password)
{
    if (ReadPassword(request, password))
        return -1;
    if (!StopRequested())
        return kExitUsage;
    std::fprintf(stderr, "korvanthine-ctl: stopped before serve answered; nothing was sent\n");
    return kExitPortNotOpened;
}

int HttpsCall(const CtlRequest& request, std::string password, const std::string& method, const std::string& target,
              const std::string& contentType, const std::string& body, HttpsAnswer* answer)
{
    http::request<http::string_body> post{http::string_to_verb(method), target, 11};
    const std::string authority = (request.urlHost.find(':') != std::string::npos ? "[" + request.urlHost + "]"
                                                                                   : request.urlHost)
                                  + ":" + std::to_string(request.urlPort);
    post.set(http::field::host, authority);
    post.set(http::field::user_agent, "korvanthine-ctl");
    if (!contentType.empty())
        post.set(http::field::content_type, contentType);
    post.set(http::field::authorization, BasicAuthorization(request.user, std::move(password)));
    post.body() = body;
    post.prepare_payload();

    // Once the request has begun to go out, serve may carry out the write
    // whatever happens to its answer.
    static const char kNothingSent[] = "nothing was sent";
    static const char kMaybeWritten[] = "the write may or may not have been carried out";
    const auto failed = [&request](const char* what, const char* outcome, int status) {
        std::fprintf(stderr, "korvanthine-ctl: %s: %s; %s\n", request.url.c_str(), what, outcome);
        return status;
    };
    const auto stopped = [](const char* outcome, int status) {
        std::fprintf(stderr, "korvanthine-ctl: stopped before serve answered; %s\n", outcome);
        return status;
    };
    try {
        const Clock::time_point allBy = Clock::now() + kAllWithin;
        const auto within = [allBy](Clock::duration phase) { return std::min(Clock::now() + phase, allBy); };
        asio::io_context io;
        ssl::context tls(ssl::context::tls_client);
        SSL_CTX_set_min_proto_version(tls.native_handle(), TLS1_2_VERSION);
        tls.set_verify_mode(ssl::verify_peer);
        if (!request.caFile.empty())
            tls.load_verify_file(request.caFile);
        else
            tls.set_default_verify_paths();
        beast::ssl_stream<beast::tcp_stream> stream(io, tls);
        beast::tcp_stream& lowest = beast::get_lowest_layer(stream);
        // The name the certificate must carry, and the name asked for (SNI).
        const PeerCertificateCheck certificateCheck(request.urlHost);
        stream.set_verify_callback(certificateCheck);
        if (request.urlHost.find(':') == std::string::npos)
            SSL_set_tlsext_host_name(stream.native_handle(), request.urlHost.c_str());

        beast::error_code error;
        const Clock::time_point connectBy = within(kConnectWithin);
        Endpoints endpoints;
        PhaseEnd end = LookUp(request.urlHost, std::to_string(request.urlPort), connectBy, &endpoints, &error);
        if (end == PhaseEnd::kDone)
            end = RunPhase(io, lowest, connectBy,
                           [&](auto handler) { lowest.async_connect(endpoints, std::move(handler)); }, &error);
        if (end == PhaseEnd::kStopped)
            return stopped(kNothingSent, kExitPortNotOpened);
        if (end == PhaseEnd::kTimedOut)
            return failed(("no connection within " + Seconds(kConnectWithin)).c_str(), kNothingSent, kExitPortNotOpened);
        if (end == PhaseEnd::kFailed)
            return failed(error.message().c_str(), kNothingSent, kExitPortNotOpened);

        end = RunPhase(io, lowest, within(kHandshakeWithin),
                       [&](auto handler) { stream.async_handshake(ssl::stream_base::client, std::move(handler)); },
                       &error);
        if (end == PhaseEnd::kStopped)
            return stopped(kNothingSent, kExitPortNotOpened);
        if (end == PhaseEnd::kTimedOut)
            return failed(("TLS handshake not completed within " + Seconds(kHandshakeWithin)).c_str(), kNothingSent, kExitPortNotOpened);
        if (end == PhaseEnd::kFailed) {
            const std::string why = certificateCheck.Why();
            return failed(("TLS handshake: " + (why.empty() ? error.message() : why)).c_str(), kNothingSent,
                          kExitPortNotOpened);
        }

        end = RunPhase(io, lowest, within(kRequestWithin),
                       [&](auto handler) { http::async_write(stream, post, std::move(handler)); }, &error);
        if (end == PhaseEnd::kStopped)
            return stopped(kMaybeWritten, kExitIncompleteReply);
        if (end == PhaseEnd::kTimedOut)
            return failed(("request not taken within " + Seconds(kRequestWithin)).c_str(), kMaybeWritten, kExitIncompleteReply);
        if (end == PhaseEnd::kFailed)
            return failed(("sending the request: " + error.message()).c_str(), kMaybeWritten, kExitIncompleteReply);

        beast::flat_buffer buffer;
        http::response_parser<http::string_body> parser;
        parser.body_limit(256 * 1024);
        end = RunPhase(io, lowest, within(kAnswerWithin),
                       [&](auto handler) { http::async_read(stream, buffer, parser, std::move(handler)); }, &error);
        if (end == PhaseEnd::kStopped)
            return stopped(kMaybeWritten, kExitIncompleteReply);
        if (end == PhaseEnd::kTimedOut)
            return failed(("no answer within " + Seconds(kAnswerWithin)).c_str(), kMaybeWritten, kExitIncompleteReply);
        if (end == PhaseEnd::kFailed)
            return failed(("reading the answer: " + error.message()).c_str(), kMaybeWritten, kExitIncompleteReply);
        // The answer is in: the closing handshake is a courtesy, and
        // whatever becomes of it changes nothing.
        RunPhase(io, lowest, Clock::now() + kCloseWithin,
                 [&](auto handler) { stream.async_shutdown(std::move(handler)); }, &error);
        const auto& response = parser.get();
        answer->status = response.result_int();
        answer->body = response.body();
        answer->reason = std::string(response.reason());
        return -1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "korvanthine-ctl: %s: %s\n", request.url.c_str(), error.what());
        return kExitPortNotOpened;
    }
}

std::string PlainReason(const HttpsAnswer& answer)
{
    const nlohmann::json json = nlohmann::json::parse(answer.body, nullptr, false);
    // serve says why, and often how to mend it, in JSON or in a plain line;
    // the status's own phrase is the last resort.
    std::string reason = json.is_object() ? json.value("error", "") : "";
    if (reason.empty() && !json.is_object())
        reason = FirstLine(answer.body);
    if (reason.empty())
        reason = answer.reason;
    return reason;
}

int RunRemoteSet(const CtlRequest& request)
{
    std::string password;
    if (const int unread = ReadRemotePassword(request, &password); unread >= 0)
        return unread;
    HttpsAnswer response;
    const int failed = HttpsCall(request, std::move(password), "POST", "/settings", "application/json",
                                 SettingsRequestBody(request), &response);
    if (failed >= 0)
        return failed;
    const unsigned status = response.status;
    const nlohmann::json answer = nlohmann::json::parse(response.body, nullptr, false);
    if (status == 200 || (status == 409 && answer.contains("written")))
        if (!PrintToStandardOutput(SettingsLine(request.channel, answer)))
            return kExitFailure;
    if (status != 200)
        std::fprintf(stderr, "korvanthine-ctl: %s answered %u: %s\n", request.url.c_str(), status,
                     PlainReason(response).c_str());
    return ExitStatusFor(status, answer);
}
