#pragma once

#include <optional>
#include <string>
#include <utility>

namespace server {

// A request's answer as the engine hands it back: the body that goes out, and what became of
// the request, which the metrics count.
struct Answer {
    enum class Outcome {
        kDone,    // done as asked (an order placed, a query answered)
        kRefused, // refused with a reason, nothing changed
        kFailed,  // its batch could not be committed: the body is the failure it was posted with
    };

    Answer(std::string body, Outcome outcome = Outcome::kDone)
        : body(std::move(body))
        , outcome(outcome) {}

    std::string body;
    Outcome outcome;
};

// The body of an answer, if there is one.
inline std::optional<std::string> BodyOf(std::optional<Answer> answer) {
    if (!answer)
        return std::nullopt;
    return std::move(answer->body);
}

} // namespace server
