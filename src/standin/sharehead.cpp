#include "sharehead.h"

#include "sharetext.h"

#include <algorithm>

namespace zandorel::standin {
namespace {

bool isTokenChar(unsigned char c) {
    if (c >= '0' && c <= '9') {
        return true;
    }
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
        return true;
    }
    return std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

bool isToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return isTokenChar(static_cast<unsigned char>(c)); });
}

// Visible ASCII or any byte of a non-ASCII character.
bool isVisible(unsigned char c) {
    return (c > 0x20 && c < 0x7f) || c >= 0x80;
}

std::string_view trimSpace(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool isDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

void RequestCheck::add(std::string_view bytes) {
    while (!bytes.empty() && state_ != State::Stopped) {
        if (state_ == State::Body) {
            const auto taken = static_cast<std::size_t>(std::min<std::uint64_t>(bodyLeft_, bytes.size()));
            bytes.remove_prefix(taken);
            bodyLeft_ -= taken;
            if (bodyLeft_ == 0) {
                state_ = State::RequestLine;
            }
            continue;
        }
        const std::size_t lf = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, lf);
        headBytes_ += lf == std::string_view::npos ? piece.size() : piece.size() + 1;
        // A NUL, or a CR that does not end its line, is refused as soon as
        // it arrives.
        const std::size_t cr = piece.find('\r');
        const bool strayCr = (cr != std::string_view::npos && cr + 1 < piece.size()) ||
                             (!line_.empty() && line_.back() == '\r' && !piece.empty());
        if (strayCr || piece.find('\0') != std::string_view::npos) {
            malformed("The request holds a NUL, or a CR inside a line.");
            return;
        }
        if (headBytes_ > maxHead_) {
            stop(Verdict::HeadTooLarge);
            return;
        }
        if (lf == std::string_view::npos) {
            line_ += piece;
            return;
        }
        line_ += piece;
        bytes.remove_prefix(lf + 1);
        if (line_.empty() || line_.back() != '\r') {
            malformed("A line of the request ends in a bare LF.");
            return;
        }
        line_.pop_back();
        const std::string line = std::move(line_);
        line_.clear();
        takeLine(line);
    }
}

void RequestCheck::takeLine(std::string_view line) {
    if (state_ == State::RequestLine) {
        requestLine(line);
    } else if (line.empty()) {
        endOfHead();
    } else {
        field(line);
    }
}

void RequestCheck::requestLine(std::string_view line) {
    if (line.empty() && headBytes_ <= 2) {
        headBytes_ = 0; // an empty line before a request is passed over
        return;
    }
    const std::size_t first = line.find(' ');
    const std::size_t last = line.rfind(' ');
    if (first == std::string_view::npos || first == last) {
        malformed("The request line must be a method, a target and a version.");
        return;
    }
    const std::string_view method = line.substr(0, first);
    const std::string_view target = line.substr(first + 1, last - first - 1);
    const std::string_view version = line.substr(last + 1);
    const bool targetVisible = !target.empty() && std::all_of(target.begin(), target.end(), [](char c) {
        return isVisible(static_cast<unsigned char>(c));
    });
    const bool versionSound = version.size() == 8 && version.starts_with("HTTP/") && version[5] >= '0' &&
                              version[5] <= '9' && version[6] == '.' && version[7] >= '0' &&
                              version[7] <= '9';
    if (!isToken(method) || !targetVisible || !versionSound) {
        malformed("The request line must be a method, a target and a version.");
        return;
    }
    state_ = State::Fields;
}

void RequestCheck::field(std::string_view line) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || !isToken(line.substr(0, colon))) {
        malformed("A header field of the request is not a name, a colon and a value.");
        return;
    }
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = trimSpace(line.substr(colon + 1));
    if (!std::all_of(value.begin(), value.end(), [](char c) {
            const auto b = static_cast<unsigned char>(c);
            return isVisible(b) || b == ' ' || b == '\t';
        })) {
        malformed("A header field of the request holds a control character.");
        return;
    }
    if (equalsIgnoringCase(name, "Content-Length")) {
        if (!isDigits(value)) {
            lengthMalformed_ = true;
        } else {
            // Leading zeros do not make a length differ.
            std::string_view digits = value;
            while (digits.size() > 1 && digits.front() == '0') {
                digits.remove_prefix(1);
            }
            if (contentLength_ && *contentLength_ != digits) {
                lengthsDiffer_ = true;
            }
            contentLength_ = std::string(digits);
        }
    } else if (equalsIgnoringCase(name, "Transfer-Encoding")) {
        transferEncoding_ = true;
    }
}

void RequestCheck::endOfHead() {
    if (lengthMalformed_) {
        malformed("Content-Length must be a decimal number.");
        return;
    }
    if (lengthsDiffer_) {
        malformed("The request gives several different Content-Length values.");
        return;
    }
    if (transferEncoding_ && contentLength_) {
        malformed("The request gives both Content-Length and Transfer-Encoding.");
        return;
    }
    // Twenty digits or more are beyond any limit.
    std::uint64_t length = 0;
    bool tooLong = transferEncoding_;
    if (contentLength_) {
        tooLong = tooLong || contentLength_->size() > 19;
        for (const char c : *contentLength_) {
            length = length * 10 + static_cast<std::uint64_t>(c - '0');
        }
        tooLong = tooLong || length > maxBody_;
    }
    if (tooLong) {
        stop(Verdict::BodyRefused);
        return;
    }
    ++sound_;
    if (verdict_ == Verdict::Incomplete) {
        verdict_ = Verdict::Ready;
    }
    headBytes_ = 0;
    contentLength_.reset();
    lengthsDiffer_ = false;
    transferEncoding_ = false;
    bodyLeft_ = length;
    state_ = length > 0 ? State::Body : State::RequestLine;
}

void RequestCheck::malformed(std::string problem) {
    verdict_ = Verdict::Malformed;
    problem_ = std::move(problem);
    state_ = State::Stopped;
}

void RequestCheck::stop(Verdict firstVerdict) {
    if (sound_ == 0) {
        verdict_ = firstVerdict;
    }
    state_ = State::Stopped;
}

} // namespace zandorel::standin
