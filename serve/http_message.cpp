#include "http_message.h"

HttpReply PlainReply(int status, const std::string& text)
{
    HttpReply reply;
    reply.status = status;
    reply.body = text + "\n";
    return reply;
}

std::optional<std::string> HttpRequest::Header(const std::string& name) const
{
    for (const auto& [key, value] : headers)
        if (key == name)
            return value;
    return std::nullopt;
}
