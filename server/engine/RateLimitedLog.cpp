#include "server/engine/RateLimitedLog.h"

#include <cstdio>

namespace server {

std::string RateLimitedLog::Line(const std::string& message, Clock::time_point now) {
    if (said_ && now - last_ < period_) {
        ++held_;
        return {};
    }
    std::string line = "quorvexd: " + message;
    if (held_ > 0)
        line += " (" + std::to_string(held_) + " more like it since the last report)";
    said_ = true;
    last_ = now;
    held_ = 0;
    return line;
}

void RateLimitedLog::Write(const std::string& message) {
    const std::string line = Line(message, Clock::now());
    if (!line.empty())
        std::fprintf(stderr, "%s\n", line.c_str());
}

} // namespace server
