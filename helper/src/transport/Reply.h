#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace ovrin::helper {

struct Reply {
    int status = 200;
    std::string contentType; // empty for a reply without a body
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;

    static Reply json(int status, const nlohmann::ordered_json& body);
    static Reply text(int status, std::string body);
    static Reply empty(int status);
    // A failure as the account targets answer it: {"error": text}.
    static Reply failure(int status, const std::string& error);
};

// The answer to a request: a reply now, or one computed by `later` once `delay` has passed
// (which may itself be deferred again). `later` runs on an I/O thread.
struct Outcome {
    Reply reply;
    std::chrono::milliseconds delay{0};
    std::function<Outcome()> later;

    Outcome(Reply now) // NOLINT(google-explicit-constructor): a reply is an immediate outcome
        : reply(std::move(now))
    {}
    Outcome(std::chrono::milliseconds wait, std::function<Outcome()> then)
        : delay(wait)
        , later(std::move(then))
    {}
    bool deferred() const { return bool(later); }
};

} // namespace ovrin::helper
