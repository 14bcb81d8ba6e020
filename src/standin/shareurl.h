#pragma once
// The service's own address: the public URL every address in its pages starts
// with, and the Host values a request may carry. Pages never take an address
// from the request itself.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zandorel::standin {

class PublicUrl {
public:
    // "http://HOST[:PORT][/PATH/]" or https. Nothing when the text is not such
    // an address: user info, a query or fragment, an empty host or characters
    // that a page would have to escape. Scheme and host are kept in lower
    // case and the path always ends with '/'.
    static std::optional<PublicUrl> parse(std::string_view text);

    // "http://HOST:PORT/" of a server bound to `bindAddress`; a wildcard bind
    // ("0.0.0.0", "::") names the machine by its host name.
    static PublicUrl forBind(std::string_view bindAddress, int port);

    // "http://127.0.0.1:8765/"
    std::string text() const;
    // The text without its final '/', the start of every published address:
    // "http://127.0.0.1:8765".
    std::string base() const;
    // The path without its final '/': "" or "/share". Links inside a page
    // start with it.
    std::string pathPrefix() const { return path_.substr(0, path_.size() - 1); }

    const std::string& scheme() const { return scheme_; }
    // Lower case; an IPv6 address in brackets.
    const std::string& host() const { return host_; }
    // The port written, else the scheme's.
    int port() const { return port_ ? *port_ : defaultPort(); }
    int defaultPort() const { return scheme_ == "https" ? 443 : 80; }

    // A written port 0 stands for the port the server really got.
    void resolvePort(int realPort);

private:
    std::string scheme_;
    std::string host_;
    std::optional<int> port_;
    std::string path_ = "/";
};

// Decides which Host a request may name: the public URL's host and port and,
// for a server bound to loopback, localhost, 127.0.0.1 and [::1] with the
// port it listens on. Anything else is a request meant for another site (or
// a page rebinding a name to this machine) and gets 421.
class HostCheck {
public:
    HostCheck(const PublicUrl& url, bool loopback, int listenPort);

    // `host` as the Host field carries it: host[:port], letter case ignored;
    // without a port the scheme's default port.
    bool accepts(std::string_view host) const;

private:
    struct Allowed {
        std::string host;
        int port;
        int defaultPort;
    };
    std::vector<Allowed> allowed_;
};

} // namespace zandorel::standin
