#include "standin.h"

#include <arpa/inet.h>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace zandorel::standin {
namespace {

bool isLoopback(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        return (ntohl(in.sin_addr.s_addr) >> 24) == 127;
    }
    if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        if (IN6_IS_ADDR_LOOPBACK(&in6.sin6_addr)) {
            return true;
        }
        return IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr) && in6.sin6_addr.s6_addr[12] == 127;
    }
    return false;
}

// A listening socket on `host` ("::1" or "[::1]" alike) and `port`, or -1.
int listenOn(std::string host, int port, sockaddr_storage& bound) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.empty() ? nullptr : host.c_str(), std::to_string(port).c_str(), &hints, &found) !=
        0) {
        return -1;
    }
    int fd = -1;
    for (const addrinfo* a = found; a != nullptr && fd < 0; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            continue;
        }
        // Plain SO_REUSEADDR: never SO_REUSEPORT, which would let a second
        // server take half of the connections.
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        socklen_t length = sizeof bound;
        if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ::freeaddrinfo(found);
    return fd;
}

int portOf(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET6) {
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    }
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

} // namespace

struct ShareServer::Impl {
    explicit Impl(ServerOptions o) : options(std::move(o)), share(options.folder) {
        if (!options.publicUrl.empty()) {
            given = PublicUrl::parse(options.publicUrl);
            if (!given) {
                throw AddressError(options.publicUrl + ": not an http:// or https:// address");
            }
        }
    }
    ~Impl() {
        if (listenFd >= 0) {
            ::close(listenFd);
        }
    }

    ServerOptions options;
    SharedFolder share;
    std::optional<PublicUrl> given;
    int listenFd = -1;
    int port = -1;
    std::optional<Routes> routes;
    std::unique_ptr<HttpTransport> transport;

    std::mutex mutex;
    std::condition_variable changed;
    bool stopRequested = false;
    bool running = false;
};

ShareServer::ShareServer(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

ShareServer::~ShareServer() {
    stop();
}

bool ShareServer::bind() {
    Impl& d = *impl_;
    if (d.listenFd >= 0 || d.options.port < 0 || d.options.port > 65535 || d.options.bindAddress.empty()) {
        return false;
    }
    sockaddr_storage bound{};
    d.listenFd = listenOn(d.options.bindAddress, d.options.port, bound);
    if (d.listenFd < 0) {
        return false;
    }
    d.port = portOf(bound);
    PublicUrl url = d.given ? *d.given : PublicUrl::forBind(d.options.bindAddress, d.port);
    url.resolvePort(d.port);
    HostCheck hosts(url, isLoopback(bound), d.port);
    d.routes.emplace(d.share, std::move(url), std::move(hosts), d.options.versionInfo);
    const Routes* routes = &*d.routes;
    d.transport =
        std::make_unique<HttpTransport>([routes](const Request& request) { return routes->answer(request); },
                                        d.options.limits, d.options.logRequests);
    return true;
}

int ShareServer::port() const {
    return impl_->port;
}

const SharedFolder& ShareServer::folder() const {
    return impl_->share;
}

std::string ShareServer::publicUrl() const {
    return impl_->routes ? impl_->routes->url().text() : std::string();
}

std::string ShareServer::baseAddress() const {
    return impl_->routes ? impl_->routes->url().base() : std::string();
}

std::string ShareServer::rootAddress() const {
    return impl_->routes ? impl_->routes->rootAddress() : std::string();
}

void ShareServer::run() {
    Impl& d = *impl_;
    std::unique_lock lock(d.mutex);
    if (d.stopRequested || d.listenFd < 0 || d.running) {
        return;
    }
    d.running = true;
    // From here on the transport owns the socket.
    const bool started = d.transport->start(std::exchange(d.listenFd, -1));
    if (started) {
        d.changed.wait(lock, [&] { return d.stopRequested; });
        lock.unlock();
        d.transport->stop();
        lock.lock();
    }
    d.running = false;
    d.changed.notify_all();
}

void ShareServer::stop() {
    Impl& d = *impl_;
    std::unique_lock lock(d.mutex);
    d.stopRequested = true;
    d.changed.notify_all();
    d.changed.wait(lock, [&] { return !d.running; });
}

} // namespace zandorel::standin
