#pragma once
// Checks the bytes a client sends before the HTTP library reads any of them,
// so that the service and anything in front of it (a reverse proxy) can never
// read the same bytes as different requests.
//
// A request head is sound when every line ends in CR LF; the request line is
// METHOD SP TARGET SP HTTP/D.D with a target of visible characters; every
// field is NAME ":" VALUE with a token for a name (no space before the
// colon, no folded lines) and a value of visible characters, spaces and tabs.
// So no NUL, CR or LF stands anywhere inside the request line or a value.
// Content-Length must be plain decimal digits, the same in every such field,
// and cannot come with Transfer-Encoding.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zandorel::standin {

class RequestCheck {
public:
    enum class Verdict {
        Incomplete,   // the first request's head has not all arrived
        Ready,        // the first request's head is whole and sound
        Malformed,    // a request head is not sound: 400
        BodyRefused,  // the first request announces a body not worth reading: 413
        HeadTooLarge, // the first request's head exceeds its limit: 431
    };

    RequestCheck(std::size_t maxHead, std::size_t maxBody) : maxHead_(maxHead), maxBody_(maxBody) {}

    // The next bytes the client sent, in order.
    void add(std::string_view bytes);

    Verdict verdict() const { return verdict_; }
    // Why the verdict is Malformed, for people.
    const std::string& problem() const { return problem_; }
    // The requests whose heads arrived whole and sound, counting from the
    // first; checking stops at the first that cannot be served (its body
    // refused, its head too large), which is not counted.
    std::size_t soundRequests() const { return sound_; }

private:
    enum class State { RequestLine, Fields, Body, Stopped };

    void takeLine(std::string_view line);
    void requestLine(std::string_view line);
    void field(std::string_view line);
    void endOfHead();
    void malformed(std::string problem);
    void stop(Verdict firstVerdict);

    std::size_t maxHead_;
    std::size_t maxBody_;
    Verdict verdict_ = Verdict::Incomplete;
    std::string problem_;
    std::size_t sound_ = 0;

    State state_ = State::RequestLine;
    std::string line_;          // the line arriving, without its end yet
    std::size_t headBytes_ = 0; // of the head arriving
    std::uint64_t bodyLeft_ = 0;
    std::optional<std::string> contentLength_;
    bool lengthsDiffer_ = false;
    bool lengthMalformed_ = false;
    bool transferEncoding_ = false;
};

} // namespace zandorel::standin
