#include "refusal_log.h"

#include <cstdio>

RefusalLog::RefusalLog(Sink sink) : sink_(std::move(sink))
{
    if (!sink_)
        sink_ = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
}

RefusalLog::~RefusalLog()
{
    // What was left unsaid is said on the way out.
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [writer, window] : windows_)
        SummaryLocked(writer, window);
}

void RefusalLog::SummaryLocked(const std::string& writer, const Window& window)
{
    if (window.unlogged == 0)
        return;
    sink_("korvanthine-ctl: ... and " + WithThousands(window.unlogged) + " more refusal"
          + (window.unlogged == 1 ? "" : "s") + " from " + writer + " in the last "
          + std::to_string(kWindow.count()) + " s");
}

void RefusalLog::Refusal(const std::string& writer, const std::string& line, Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = windows_.find(writer);
    if (found != windows_.end() && now - found->second.start >= kWindow) {
        SummaryLocked(writer, found->second);
        windows_.erase(found);
        found = windows_.end();
    }
    if (found == windows_.end()) {
        // Bounded: with every place taken, the ended windows go, and while
        // none has ended every new writer shares one.
        if (windows_.size() >= kMaxWriters)
            EndWindowsLocked(now);
        const std::string key = windows_.size() >= kMaxWriters ? std::string("other writers") : writer;
        found = windows_.try_emplace(key, Window{now}).first;
    }
    Window& window = found->second;
    if (window.lines < kLinesPerWindow) {
        ++window.lines;
        sink_(line);
    } else {
        ++window.unlogged;
    }
}

void RefusalLog::Tick(Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(mutex_);
    EndWindowsLocked(now);
}

void RefusalLog::EndWindowsLocked(Clock::time_point now)
{
    for (auto it = windows_.begin(); it != windows_.end();) {
        if (now - it->second.start >= kWindow) {
            SummaryLocked(it->first, it->second);
            it = windows_.erase(it);
        } else {
            ++it;
        }
    }
}

std::string WithThousands(std::uint64_t count)
{
    std::string digits = std::to_string(count);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3)
        digits.insert(static_cast<std::size_t>(at), ",");
    return digits;
}
