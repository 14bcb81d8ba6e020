#include "shareurl.h"

#include <climits>
#include <unistd.h>

namespace zandorel::standin {
namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = lowerAscii(c);
    }
    return out;
}

bool isAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A host name or IPv4 address: letters, digits and "-._~".
bool plainHostName(std::string_view host) {
    if (host.empty() || host.size() > 253) {
        return false;
    }
    for (const char c : host) {
        if (!isAlnum(c) && c != '-' && c != '.' && c != '_' && c != '~') {
            return false;
        }
    }
    return true;
}

// "[...]" holding hex digits, ':' and '.' (an IPv6 address, possibly ending
// in IPv4 form).
bool bracketedAddress(std::string_view host) {
    if (host.size() < 4 || host.size() > 48 || host.front() != '[' || host.back() != ']') {
        return false;
    }
    for (const char c : host.substr(1, host.size() - 2)) {
        if (!isHex(c) && c != ':' && c != '.') {
            return false;
        }
    }
    return host.find(':') != std::string_view::npos;
}

std::optional<int> parsePort(std::string_view digits) {
    if (digits.empty() || digits.size() > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + (c - '0');
    }
    return port <= 65535 ? std::optional<int>(port) : std::nullopt;
}

// Path characters that a page carries as they are (RFC 3986 pchar without
// the sub-delimiters that the page's data escapes), '%' only before two hex
// digits.
bool plainPath(std::string_view path) {
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '%') {
            if (i + 2 >= path.size() || !isHex(path[i + 1]) || !isHex(path[i + 2])) {
                return false;
            }
            i += 2;
            continue;
        }
        if (!isAlnum(c) && std::string_view("-._~/!$'()*+,=:@").find(c) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

struct HostPort {
    std::string host; // lower case
    std::optional<int> port;
};

// "host", "host:port", "[v6]" or "[v6]:port"; an empty port counts as none.
std::optional<HostPort> splitHostPort(std::string_view text) {
    std::string_view host = text;
    std::string_view port;
    bool hasPort = false;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        host = text.substr(0, close + 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') {
                return std::nullopt;
            }
            hasPort = true;
            port = text.substr(close + 2);
        }
        if (!bracketedAddress(host)) {
            return std::nullopt;
        }
    } else {
        if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
            host = text.substr(0, colon);
            port = text.substr(colon + 1);
            hasPort = true;
        }
        if (!plainHostName(host)) {
            return std::nullopt;
        }
    }
    HostPort out{lowered(host), std::nullopt};
    if (hasPort && !port.empty()) {
        out.port = parsePort(port);
        if (!out.port) {
            return std::nullopt;
        }
    }
    return out;
}

bool isWildcard(std::string_view address) {
    return address.empty() || address == "0.0.0.0" || address == "::" || address == "[::]";
}

} // namespace

std::optional<PublicUrl> PublicUrl::parse(std::string_view text) {
    PublicUrl url;
    const std::size_t colon = text.find("://");
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    url.scheme_ = lowered(text.substr(0, colon));
    if (url.scheme_ != "http" && url.scheme_ != "https") {
        return std::nullopt;
    }
    const std::string_view rest = text.substr(colon + 3);
    const std::size_t slash = rest.find('/');
    const std::string_view authority = rest.substr(0, slash);
    const std::optional<HostPort> hostPort = splitHostPort(authority);
    if (!hostPort || (!authority.empty() && authority.back() == ':')) {
        return std::nullopt;
    }
    url.host_ = hostPort->host;
    url.port_ = hostPort->port;
    if (slash != std::string_view::npos) {
        const std::string_view path = rest.substr(slash);
        if (!plainPath(path)) {
            return std::nullopt;
        }
        url.path_ = std::string(path);
        if (url.path_.back() != '/') {
            url.path_ += '/';
        }
    }
    return url;
}

PublicUrl PublicUrl::forBind(std::string_view bindAddress, int port) {
    PublicUrl url;
    url.scheme_ = "http";
    url.port_ = port;
    if (isWildcard(bindAddress)) {
        char name[HOST_NAME_MAX + 1] = {};
        if (::gethostname(name, sizeof name - 1) == 0 && plainHostName(name)) {
            url.host_ = lowered(name);
        } else {
            url.host_ = bindAddress.find(':') == std::string_view::npos ? "127.0.0.1" : "[::1]";
        }
    } else if (bindAddress.find(':') != std::string_view::npos && bindAddress.front() != '[') {
        // Built by appending: GCC 12 at -O3 takes `"[" + std::string` for an
        // overlapping copy (a false -Wrestrict).
        url.host_.reserve(bindAddress.size() + 2);
        url.host_ += '[';
        url.host_ += lowered(bindAddress);
        url.host_ += ']';
    } else {
        url.host_ = lowered(bindAddress);
    }
    return url;
}

std::string PublicUrl::text() const {
    std::string out = scheme_ + "://" + host_;
    if (port_) {
        out += ':';
        out += std::to_string(*port_);
    }
    out += path_;
    return out;
}

std::string PublicUrl::base() const {
    std::string out = text();
    out.pop_back();
    return out;
}

void PublicUrl::resolvePort(int realPort) {
    if (port_ && *port_ == 0) {
        port_ = realPort;
    }
}

HostCheck::HostCheck(const PublicUrl& url, bool loopback, int listenPort) {
    allowed_.push_back({url.host(), url.port(), url.defaultPort()});
    if (loopback) {
        for (const char* host : {"localhost", "127.0.0.1", "[::1]"}) {
            allowed_.push_back({host, listenPort, 80});
        }
    }
}

bool HostCheck::accepts(std::string_view host) const {
    const std::optional<HostPort> given = splitHostPort(host);
    if (!given) {
        return false;
    }
    for (const Allowed& allowed : allowed_) {
        if (given->host == allowed.host && given->port.value_or(allowed.defaultPort) == allowed.port) {
            return true;
        }
    }
    return false;
}

} // namespace zandorel::standin
