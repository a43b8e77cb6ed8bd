// Refusals on standard error without letting one writer flood the journal:
// each writer (a local user's uid, a web user) has a few lines per window;
// past them its refusals are only counted, and one summary line says how
// many when the window ends ("... and 2,301 more refusals from uid 1003 in
// the last 10 s"). A journal's own rate limit would otherwise drop the
// audit lines that follow a flood; audit lines never pass through here.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

class RefusalLog {
public:
    using Clock = std::chrono::steady_clock;
    using Sink = std::function<void(const std::string& line)>; // without the line feed

    static constexpr int kLinesPerWindow = 5;
    static constexpr std::chrono::seconds kWindow{10};
    static constexpr std::size_t kMaxWriters = 256;

    // Standard error by default.
    explicit RefusalLog(Sink sink = nullptr);
    ~RefusalLog();

    // line (already escaped) for writer, or only its count.
    void Refusal(const std::string& writer, const std::string& line, Clock::time_point now = Clock::now());
    // Summaries of the windows that have ended; call now and then.
    void Tick(Clock::time_point now = Clock::now());

private:
    struct Window {
        Clock::time_point start;
        int lines = 0;
        std::uint64_t unlogged = 0;
    };
    void SummaryLocked(const std::string& writer, const Window& window);
    // Says and forgets the windows that have ended.
    void EndWindowsLocked(Clock::time_point now);

    Sink sink_;
    std::mutex mutex_;
    std::map<std::string, Window> windows_;
};

// 2301 as "2,301".
std::string WithThousands(std::uint64_t count);
