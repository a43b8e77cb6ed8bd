// The record of every complete request the simulated controller received.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

// One request as a line of text: printable ASCII as it is, carriage return
// as \r, and every other byte (the backslash included) as \xNN.
std::string EscapeRequest(const std::string& bytes);

class RequestLog {
public:
    RequestLog() = default;
    RequestLog(const RequestLog&) = delete;
    RequestLog& operator=(const RequestLog&) = delete;
    ~RequestLog();

    // Also appends each request to this file, one line each: the time it
    // came (ISO 8601 with milliseconds and offset), a space, the request
    // escaped.
    bool OpenFile(const std::string& path, std::string* error);

    void Add(const std::string& request);
    // Empties the record and the file.
    void Clear();

    // The exact bytes of the most recent requests, oldest first.
    const std::deque<std::string>& Entries() const { return entries_; }

    static constexpr std::size_t kMaxEntries = 10000;

private:
    int fd_ = -1;
    std::deque<std::string> entries_;
};
