// set --url over TLS with Boost.Beast's SSL stream. The password comes from
// a file or from the terminal with echo off, never from the command line,
// and goes nowhere but into the request's Authorization header.
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
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
#include "remote_set.h"
#include "standard_output.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = asio::ssl;

namespace {

constexpr auto kAnswerWithin = std::chrono::seconds(60); // three exchanges at their longest, and more

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
    FILE* tty = std::fopen("/dev/tty", "r+");
    if (tty == nullptr) {
        std::fprintf(stderr, "korvanthine-ctl: no terminal to ask for %s's password: give --password-file\n",
                     request.user.c_str());
        return false;
    }
    std::fprintf(tty, "Password for %s: ", request.user.c_str());
    std::fflush(tty);
    termios before{};
    const bool terminal = tcgetattr(fileno(tty), &before) == 0;
    termios quiet = before;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    if (terminal)
        tcsetattr(fileno(tty), TCSAFLUSH, &quiet);
    char line[1024];
    const bool read = std::fgets(line, sizeof line, tty) != nullptr;
    if (terminal)
        tcsetattr(fileno(tty), TCSAFLUSH, &before);
    std::fputs("\n", tty);
    std::fclose(tty);
    if (read) {
        *password = line;
        while (!password->empty() && (password->back() == '\n' || password->back() == '\r'))
            password->pop_back();
    }
    OPENSSL_cleanse(line, sizeof line);
    return read;
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
int ExitStatusFor(unsigned status, const nlohmann::json& answer)
{
    switch (status) {
    case 200:
        return kExitOk;
    case 400:
        return kExitUsage;
    case 409:
        return answer.contains("written") ? kExitReadBackMismatch : kExitIncompleteReply;
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

int RunRemoteSet(const CtlRequest& request)
{
    std::string password;
    if (!ReadPassword(request, &password))
        return kExitUsage;
    http::request<http::string_body> post{http::verb::post, "/settings", 11};
    const std::string authority = (request.urlHost.find(':') != std::string::npos ? "[" + request.urlHost + "]"
                                                                                   : request.urlHost)
                                  + ":" + std::to_string(request.urlPort);
    post.set(http::field::host, authority);
    post.set(http::field::user_agent, "korvanthine-ctl");
    post.set(http::field::content_type, "application/json");
    post.set(http::field::authorization, BasicAuthorization(request.user, std::move(password)));
    post.body() = SettingsRequestBody(request);
    post.prepare_payload();

    try {
        asio::io_context io;
        ssl::context tls(ssl::context::tls_client);
        SSL_CTX_set_min_proto_version(tls.native_handle(), TLS1_2_VERSION);
        tls.set_verify_mode(ssl::verify_peer);
        if (!request.caFile.empty())
            tls.load_verify_file(request.caFile);
        else
            tls.set_default_verify_paths();
        beast::ssl_stream<beast::tcp_stream> stream(io, tls);
        // The name the certificate must carry, and the name asked for (SNI).
        stream.set_verify_callback(ssl::host_name_verification(request.urlHost));
        if (request.urlHost.find(':') == std::string::npos)
            SSL_set_tlsext_host_name(stream.native_handle(), request.urlHost.c_str());

        asio::ip::tcp::resolver resolver(io);
        beast::get_lowest_layer(stream).expires_after(kAnswerWithin);
        beast::get_lowest_layer(stream).connect(resolver.resolve(request.urlHost, std::to_string(request.urlPort)));
        stream.handshake(ssl::stream_base::client);
        http::write(stream, post);
        beast::flat_buffer buffer;
        http::response_parser<http::string_body> parser;
        parser.body_limit(64 * 1024);
        http::read(stream, buffer, parser);
        const auto& response = parser.get();
        beast::error_code ignored;
        stream.shutdown(ignored);

        const unsigned status = response.result_int();
        const nlohmann::json answer = nlohmann::json::parse(response.body(), nullptr, false);
        if (status == 200 || (status == 409 && answer.contains("written")))
            if (!PrintToStandardOutput(SettingsLine(request.channel, answer)))
                return kExitFailure;
        if (status != 200) {
            std::string reason = answer.is_object() ? answer.value("error", "") : "";
            if (reason.empty())
                reason = std::string(response.reason());
            std::fprintf(stderr, "korvanthine-ctl: %s answered %u: %s\n", request.url.c_str(), status, reason.c_str());
        }
        return ExitStatusFor(status, answer);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "korvanthine-ctl: %s: %s\n", request.url.c_str(), error.what());
        return kExitPortNotOpened;
    }
}
