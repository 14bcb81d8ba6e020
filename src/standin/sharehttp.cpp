#include "sharehttp.h"

#include "sharehead.h"
#include "sharepage.h"
#include "sharetext.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <microhttpd.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <string>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace zandorel::standin {
namespace {

using Clock = std::chrono::steady_clock;

// One request on a connection, from its request line to its last byte sent.
struct Exchange {
    std::string target;
    bool headSeen = false;
    bool answered = false;
    bool last = false; // the last request checked on its connection: the answer closes it
};

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(std::min<std::size_t>(text.size(), 512));
    for (const char c : text.substr(0, 512)) {
        const auto b = static_cast<unsigned char>(c);
        out += (b < 0x20 || b == 0x7f) ? '?' : c;
    }
    return out;
}

std::string clientAddress(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    if (info == nullptr || info->client_addr == nullptr) {
        return "?";
    }
    const socklen_t length =
        info->client_addr->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    char host[NI_MAXHOST];
    if (::getnameinfo(info->client_addr, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0) {
        return "?";
    }
    return host;
}

bool sameName(const char* a, std::string_view b) {
    return std::strlen(a) == b.size() && ::strncasecmp(a, b.data(), b.size()) == 0;
}

MHD_Result collectHeader(void* cls, MHD_ValueKind, const char* key, const char* value) {
    auto& request = *static_cast<Request*>(cls);
    if (key == nullptr) {
        return MHD_YES;
    }
    const std::string_view text = value == nullptr ? std::string_view() : std::string_view(value);
    if (sameName(key, "Host")) {
        request.hosts.push_back(text);
    } else if (sameName(key, "Range")) {
        request.range = text;
    } else if (sameName(key, "If-Range")) {
        request.ifRange = text;
    } else if (sameName(key, "Content-Length")) {
        request.contentLength = text;
    } else if (sameName(key, "Transfer-Encoding")) {
        request.transferEncoding = true;
    }
    return MHD_YES;
}

void freeString(void* cls) {
    delete static_cast<std::string*>(cls);
}

void releaseShared(void* cls) {
    delete static_cast<std::shared_ptr<const std::string>*>(cls);
}

// The client's address as bytes, an IPv4 address mapped into IPv6 as IPv4:
// what the limits per address count by.
std::string addressKey(const sockaddr_storage& address) {
    if (address.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(address);
        return {reinterpret_cast<const char*>(&in.sin_addr), sizeof in.sin_addr};
    }
    if (address.ss_family == AF_INET6) {
        const auto& in6 = reinterpret_cast<const sockaddr_in6&>(address);
        if (IN6_IS_ADDR_V4MAPPED(&in6.sin6_addr)) {
            return {reinterpret_cast<const char*>(in6.sin6_addr.s6_addr) + 12, 4};
        }
        return {reinterpret_cast<const char*>(in6.sin6_addr.s6_addr), sizeof in6.sin6_addr.s6_addr};
    }
    return {};
}

// A whole answer of the service's own, for a request the library never sees.
std::string ownAnswer(int status, std::string_view message) {
    const std::string body = errorPage(status, message);
    std::string out = "HTTP/1.1 " + std::to_string(status) + " " + std::string(statusText(status)) + "\r\n";
    out += "Date: " + httpDate(std::time(nullptr)) + "\r\n";
    out += "Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n";
    out += "X-Content-Type-Options: nosniff\r\nReferrer-Policy: no-referrer\r\nConnection: close\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    return out + body;
}

} // namespace

struct HttpTransport::Impl {
    Impl(Handler h, TransportLimits l, bool lg) : handler(std::move(h)), limits(l), log(lg) {}

    enum class Phase {
        Gate,    // the service reads its first request head
        Library, // the library serves it
        Closing, // answered by the service; read and dropped until the client goes
    };

    // A connection the service holds, by its descriptor.
    struct Held {
        Phase phase = Phase::Gate;
        std::string address;
        sockaddr_storage peer{};
        socklen_t peerLength = 0;
        Clock::time_point since;
        // For the request awaited; when closing, for the close.
        Clock::time_point deadline;
        std::unique_ptr<RequestCheck> check;
        bool incremental = false; // each peek returns only bytes not peeked before
        std::size_t peeked = 0;
        MHD_Connection* connection = nullptr;
        std::size_t checked = 0; // requests whose heads the service checked
        std::size_t begun = 0;   // of them, begun by the library
        bool waiting = true;     // for a complete request
        bool counted = true;     // counts against the limits (not shut down or answered)
        std::size_t dropped = 0; // bytes read and dropped while closing
    };

    static void logMessage(void* cls, const char* format, va_list args) {
        if (static_cast<Impl*>(cls)->log) {
            std::fputs("zandorel-share: ", stderr);
            std::vfprintf(stderr, format, args);
        }
    }

    static void* requestLine(void*, const char* uri, MHD_Connection*) {
        return new Exchange{uri == nullptr ? std::string() : std::string(uri)};
    }

    // Must hold `mutex`.
    Held* heldFor(MHD_Connection* connection) {
        const auto fd = descriptors.find(connection);
        if (fd == descriptors.end()) {
            return nullptr;
        }
        const auto found = held.find(fd->second);
        return found == held.end() ? nullptr : &found->second;
    }

    // Must hold `mutex`. The connection no longer counts against the limits.
    void release(Held& h) {
        if (h.counted) {
            h.counted = false;
            --total;
            if (const auto found = perAddress.find(h.address);
                found != perAddress.end() && --found->second == 0) {
                perAddress.erase(found);
            }
        }
    }

    static void connectionEvent(void* cls, MHD_Connection* connection, void**,
                                MHD_ConnectionNotificationCode code) {
        auto& d = *static_cast<Impl*>(cls);
        std::lock_guard lock(d.mutex);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            if (info != nullptr) {
                d.descriptors[connection] = info->connect_fd;
                if (const auto found = d.held.find(info->connect_fd); found != d.held.end()) {
                    found->second.connection = connection;
                }
            }
        } else if (const auto fd = d.descriptors.find(connection); fd != d.descriptors.end()) {
            // Called before the library closes the socket: once erased here,
            // nothing touches a descriptor that may be reused.
            if (const auto found = d.held.find(fd->second); found != d.held.end()) {
                d.release(found->second);
                d.held.erase(found);
            }
            d.descriptors.erase(fd);
        }
    }

    static void completed(void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
        delete static_cast<Exchange*>(*context);
        *context = nullptr;
        auto& d = *static_cast<Impl*>(cls);
        std::lock_guard lock(d.mutex);
        if (Held* h = d.heldFor(connection)) {
            h->waiting = true;
            h->deadline = Clock::now() + d.limits.requestTime;
        }
    }

    // Called once the head is in, then for each piece of a body, then once
    // the request is complete. Answering only then keeps the connection open
    // for the next request; answering at once would close it.
    static MHD_Result access(void* cls, MHD_Connection* connection, const char* url, const char* method,
                             const char* version, const char*, std::size_t* uploadSize, void** context) {
        auto& d = *static_cast<Impl*>(cls);
        auto* exchange = static_cast<Exchange*>(*context);
        if (exchange == nullptr) {
            exchange = new Exchange{url == nullptr ? std::string() : std::string(url)};
            *context = exchange;
        }
        if (exchange->answered || (exchange->headSeen && *uploadSize > 0)) {
            *uploadSize = 0; // a small body: read and dropped
            return MHD_YES;
        }

        bool unchecked = false;
        if (!exchange->headSeen) {
            std::lock_guard lock(d.mutex);
            Held* h = d.heldFor(connection);
            unchecked = h == nullptr || ++h->begun > h->checked;
            exchange->last = h == nullptr || h->begun >= h->checked;
        }

        Request request;
        request.method = method == nullptr ? std::string_view() : std::string_view(method);
        request.target = exchange->target;
        const std::string_view v = version == nullptr ? std::string_view() : std::string_view(version);
        request.http11 = !v.empty() && v != "HTTP/1.0" && v != "HTTP/0.9";
        MHD_get_connection_values(connection, MHD_HEADER_KIND, collectHeader, &request);

        // A body not worth reading is refused before any of it is read.
        if (!exchange->headSeen) {
            exchange->headSeen = true;
            if (!unchecked && !refusesBody(request)) {
                return MHD_YES;
            }
        }
        exchange->answered = true;
        {
            std::lock_guard lock(d.mutex);
            if (Held* h = d.heldFor(connection)) {
                h->waiting = false;
            }
        }

        Response response;
        if (unchecked) {
            // Only requests whose bytes the service checked are served.
            response.status = 400;
            response.setHeader("Content-Type", "text/html; charset=utf-8");
            response.body = errorPage(400, "The request was not checked.");
            exchange->last = true;
        } else {
            try {
                response = d.handler(request);
            } catch (const std::exception&) {
                response = Response();
                response.status = 500;
                response.setHeader("Content-Type", "text/html; charset=utf-8");
                response.body = errorPage(500, "The request failed.");
            }
        }
        if (exchange->last) {
            response.setHeader("Connection", "close");
        }
        if (d.log) {
            std::fprintf(stderr, "%s %s %s %d\n", printable(clientAddress(connection)).c_str(),
                         printable(request.method).c_str(), printable(request.target).c_str(),
                         response.status);
        }
        return send(connection, response);
    }

    static MHD_Result send(MHD_Connection* connection, Response& response) {
        MHD_Response* out = nullptr;
        if (response.file && response.length > 0) {
            // Sent by sendfile; the library closes the descriptor.
            out = MHD_create_response_from_fd_at_offset64(response.length, response.file.get(),
                                                          response.offset);
            if (out != nullptr) {
                response.file.release();
            }
        } else if (response.sharedBody) {
            // Sent from the shared text itself: the library copies nothing.
            auto* holder = new std::shared_ptr<const std::string>(std::move(response.sharedBody));
            out = MHD_create_response_from_buffer_with_free_callback_cls(
                (*holder)->size(), const_cast<char*>((*holder)->data()), releaseShared, holder);
            if (out == nullptr) {
                delete holder;
            }
        } else {
            auto* body = new std::string(std::move(response.body));
            out = MHD_create_response_from_buffer_with_free_callback_cls(body->size(), body->data(),
                                                                         freeString, body);
            if (out == nullptr) {
                delete body;
            }
        }
        if (out == nullptr) {
            return MHD_NO;
        }
        for (const auto& [name, value] : response.headers) {
            MHD_add_response_header(out, name.c_str(), value.c_str());
        }
        const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(response.status), out);
        MHD_destroy_response(out);
        return queued;
    }

    // --- The gate: accepting, limits, the first request head, clocks. ---

    // Must hold `mutex`. Makes room for a client from `address` when all
    // connections are taken: closes one of an address holding the most, the
    // oldest that has not sent a whole request, else the oldest waiting for
    // its next, else the oldest. False when no address holds more than
    // `address` itself.
    bool makeRoomFor(const std::string& address) {
        const auto mine = perAddress.find(address);
        const unsigned own = mine == perAddress.end() ? 0 : mine->second;
        unsigned most = 0;
        for (const auto& [key, count] : perAddress) {
            most = std::max(most, count);
        }
        if (most <= own) {
            return false;
        }
        int chosen = -1;
        std::pair<int, Clock::time_point> best;
        for (const auto& [fd, h] : held) {
            if (!h.counted || perAddress.at(h.address) != most) {
                continue;
            }
            const std::pair<int, Clock::time_point> rank{h.phase == Phase::Gate ? 0
                                                         : h.waiting            ? 1
                                                                                : 2,
                                                         h.since};
            if (chosen < 0 || rank < best) {
                chosen = fd;
                best = rank;
            }
        }
        if (chosen < 0) {
            return false;
        }
        Held& h = held.at(chosen);
        if (h.phase == Phase::Gate) {
            closeNow(chosen);
        } else {
            ::shutdown(chosen, SHUT_RDWR); // the library sees the end and closes it
            release(h);
        }
        return true;
    }

    // Must hold `mutex`.
    void closeNow(int fd) {
        if (const auto found = held.find(fd); found != held.end()) {
            release(found->second);
            held.erase(found);
        }
        ::close(fd);
    }

    void acceptAll() {
        for (;;) {
            sockaddr_storage peer{};
            socklen_t length = sizeof peer;
            const int fd = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &length,
                                     SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd < 0) {
                if (errno == EINTR || errno == ECONNABORTED) {
                    continue;
                }
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                    // Out of descriptors: accepting waits for the next tick
                    // instead of spinning on the pending connection.
                    epoll_event event{};
                    ::epoll_ctl(epollFd, EPOLL_CTL_MOD, listenFd, &event);
                    acceptPaused = true;
                }
                return;
            }
            std::lock_guard lock(mutex);
            const std::string address = addressKey(peer);
            const auto mine = perAddress.find(address);
            if ((mine != perAddress.end() && mine->second >= limits.perAddress) ||
                (total >= limits.connections && !makeRoomFor(address))) {
                ::close(fd);
                continue;
            }
            Held h;
            h.address = address;
            h.peer = peer;
            h.peerLength = length;
            h.since = Clock::now();
            h.deadline = h.since + limits.requestTime;
            h.check = std::make_unique<RequestCheck>(kMaxRequestHead, kMaxRequestBody);
            const int zero = 0;
            h.incremental = ::setsockopt(fd, SOL_SOCKET, SO_PEEK_OFF, &zero, sizeof zero) == 0;
            held.emplace(fd, std::move(h));
            ++perAddress[address];
            ++total;
            // Bytes already there are reported once the socket is added.
            epoll_event event{};
            event.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
            event.data.fd = fd;
            ::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &event);
        }
    }

    // Must hold `mutex`. Reads and drops what the client sends after the
    // service's answer, up to a request's worth; closes after that.
    void drain(int fd) {
        char scratch[16384];
        for (;;) {
            const ssize_t got = ::recv(fd, scratch, sizeof scratch, 0);
            if (got > 0) {
                std::size_t& dropped = held.at(fd).dropped;
                dropped += static_cast<std::size_t>(got);
                if (dropped > kMaxRequestHead + kMaxRequestBody) {
                    closeNow(fd);
                    return;
                }
                continue;
            }
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                closeNow(fd);
            }
            return;
        }
    }

    // Must hold `mutex`. Answers a request the library never sees and closes
    // the connection once the client has taken the answer.
    void answerHere(int fd, Held& h, int status, std::string_view message) {
        const std::string answer = ownAnswer(status, message);
        // The socket's buffer is empty: the small answer goes out at once.
        ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        ::shutdown(fd, SHUT_WR);
        release(h);
        h.phase = Phase::Closing;
        h.check.reset();
        h.deadline = Clock::now() + std::chrono::seconds(1);
        if (log) {
            std::fprintf(stderr, "%s - - %d\n", printable(peerText(h.peer)).c_str(), status);
        }
        // Reading what the client sent keeps the close from resetting the
        // connection before the answer is read.
        drain(fd);
    }

    static std::string peerText(const sockaddr_storage& peer) {
        char host[NI_MAXHOST];
        const socklen_t length = peer.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
        if (::getnameinfo(reinterpret_cast<const sockaddr*>(&peer), length, host, sizeof host, nullptr, 0,
                          NI_NUMERICHOST) != 0) {
            return "?";
        }
        return host;
    }

    // The client sent something: checks it without taking it from the
    // socket, and hands the connection to the library once its first
    // request head is whole and sound.
    void readable(int fd) {
        std::unique_lock lock(mutex);
        const auto found = held.find(fd);
        if (found == held.end()) {
            return;
        }
        Held& h = found->second;
        if (h.phase == Phase::Closing) {
            drain(fd);
            return;
        }
        if (h.phase != Phase::Gate) {
            return;
        }
        std::string buffer;
        for (;;) {
            // Without a peek offset each peek returns everything from the
            // start: only the part not seen before is checked.
            const std::size_t skip = h.incremental ? 0 : h.peeked;
            buffer.resize(skip + 16384);
            const ssize_t got = ::recv(fd, buffer.data(), buffer.size(), MSG_PEEK);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                break;
            }
            if (got <= 0 || static_cast<std::size_t>(got) < skip) {
                closeNow(fd); // gone before a whole request
                return;
            }
            const std::string_view fresh(buffer.data() + skip, static_cast<std::size_t>(got) - skip);
            if (fresh.empty()) {
                break;
            }
            h.check->add(fresh);
            h.peeked += fresh.size();
            const RequestCheck::Verdict verdict = h.check->verdict();
            // Once the first head is sound, whatever came with it is checked
            // too, so that requests sent back to back are served.
            if (verdict != RequestCheck::Verdict::Incomplete && verdict != RequestCheck::Verdict::Ready) {
                break;
            }
            if (h.peeked > 4 * (kMaxRequestHead + kMaxRequestBody)) {
                break;
            }
        }
        switch (h.check->verdict()) {
        case RequestCheck::Verdict::Incomplete:
            return;
        case RequestCheck::Verdict::Malformed:
            answerHere(fd, h, 400, h.check->problem());
            return;
        case RequestCheck::Verdict::BodyRefused:
            answerHere(fd, h, 413, "Requests carry no body here.");
            return;
        case RequestCheck::Verdict::HeadTooLarge:
            answerHere(fd, h, 431, "The request head is too large.");
            return;
        case RequestCheck::Verdict::Ready:
            break;
        }
        ::epoll_ctl(epollFd, EPOLL_CTL_DEL, fd, nullptr);
        const int off = -1;
        ::setsockopt(fd, SOL_SOCKET, SO_PEEK_OFF, &off, sizeof off);
        h.phase = Phase::Library;
        h.checked = h.check->soundRequests();
        h.check.reset();
        const sockaddr_storage peer = h.peer;
        const socklen_t length = h.peerLength;
        lock.unlock();
        if (MHD_add_connection(daemon, fd, reinterpret_cast<const sockaddr*>(&peer), length) != MHD_YES) {
            // The library has closed the socket.
            lock.lock();
            if (const auto gone = held.find(fd); gone != held.end()) {
                release(gone->second);
                held.erase(gone);
            }
        }
    }

    // Closes what is overdue: a connection whose request has not arrived
    // whole in time, and an answered one whose client never left.
    void clock() {
        std::lock_guard lock(mutex);
        const Clock::time_point now = Clock::now();
        std::vector<int> overdue;
        for (auto& [fd, h] : held) {
            if (h.deadline > now) {
                continue;
            }
            if (h.phase == Phase::Library) {
                if (h.waiting && h.counted) {
                    ::shutdown(fd, SHUT_RDWR); // the library sees the end and closes it
                    release(h);
                }
            } else {
                overdue.push_back(fd);
            }
        }
        for (const int fd : overdue) {
            closeNow(fd);
        }
        if (acceptPaused) {
            acceptPaused = false;
            epoll_event event{};
            event.events = EPOLLIN;
            event.data.fd = listenFd;
            ::epoll_ctl(epollFd, EPOLL_CTL_MOD, listenFd, &event);
        }
    }

    void gate() {
        const auto tick =
            std::clamp(limits.requestTime / 4, std::chrono::milliseconds(20), std::chrono::milliseconds(250));
        epoll_event events[64];
        Clock::time_point nextClock = Clock::now() + tick;
        while (!stopping) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextClock - Clock::now());
            const int ready =
                ::epoll_wait(epollFd, events, 64, static_cast<int>(std::max<long long>(0, wait.count())));
            for (int i = 0; i < ready; ++i) {
                const int fd = events[i].data.fd;
                if (fd == listenFd) {
                    acceptAll();
                } else if (fd != wakeFd) {
                    readable(fd);
                }
            }
            if (Clock::now() >= nextClock) {
                clock();
                nextClock = Clock::now() + tick;
            }
        }
    }

    Handler handler;
    TransportLimits limits;
    bool log;
    MHD_Daemon* daemon = nullptr;
    int listenFd = -1;
    int epollFd = -1;
    int wakeFd = -1;
    bool acceptPaused = false; // gate thread only
    std::atomic<bool> stopping = false;

    std::mutex mutex;
    std::unordered_map<int, Held> held;
    std::unordered_map<MHD_Connection*, int> descriptors;
    std::unordered_map<std::string, unsigned> perAddress; // connections counted, by address
    unsigned total = 0;
    std::thread gateThread;
};

HttpTransport::HttpTransport(Handler handler, TransportLimits limits, bool log)
    : impl_(std::make_unique<Impl>(std::move(handler), limits, log)) {}

HttpTransport::~HttpTransport() {
    stop();
}

bool HttpTransport::start(int listenFd) {
    Impl& d = *impl_;
    if (d.daemon != nullptr) {
        ::close(listenFd);
        return false;
    }
    const int flags = ::fcntl(listenFd, F_GETFL);
    ::fcntl(listenFd, F_SETFL, flags | O_NONBLOCK);
    unsigned threads = d.limits.threads;
    if (threads == 0) {
        threads = std::clamp(std::thread::hardware_concurrency(), 2U, 4U);
    }
    // The service accepts and reads each first request head itself; the
    // library gets the connection after that. Its own limit leaves room for
    // connections shut down and not yet closed.
    d.daemon = MHD_start_daemon(
        MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_ERROR_LOG | MHD_USE_ITC | MHD_USE_NO_LISTEN_SOCKET, 0,
        nullptr, nullptr, &Impl::access, &d, MHD_OPTION_EXTERNAL_LOGGER, &Impl::logMessage, &d,
        MHD_OPTION_THREAD_POOL_SIZE, threads > 1 ? threads : 0U, MHD_OPTION_CONNECTION_LIMIT,
        2 * std::max(d.limits.connections, threads), MHD_OPTION_CONNECTION_TIMEOUT, d.limits.idleSeconds,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<std::size_t>(2 * kMaxRequestHead),
        MHD_OPTION_URI_LOG_CALLBACK, &Impl::requestLine, &d, MHD_OPTION_NOTIFY_COMPLETED, &Impl::completed,
        &d, MHD_OPTION_NOTIFY_CONNECTION, &Impl::connectionEvent, &d, MHD_OPTION_END);
    d.epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    d.wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (d.daemon == nullptr || d.epollFd < 0 || d.wakeFd < 0) {
        if (d.daemon != nullptr) {
            MHD_stop_daemon(d.daemon);
            d.daemon = nullptr;
        }
        for (int* fd : {&d.epollFd, &d.wakeFd}) {
            if (*fd >= 0) {
                ::close(std::exchange(*fd, -1));
            }
        }
        ::close(listenFd);
        return false;
    }
    d.listenFd = listenFd;
    for (const int fd : {listenFd, d.wakeFd}) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        ::epoll_ctl(d.epollFd, EPOLL_CTL_ADD, fd, &event);
    }
    d.stopping = false;
    d.gateThread = std::thread([&d] { d.gate(); });
    return true;
}

void HttpTransport::stop() {
    Impl& d = *impl_;
    if (d.daemon == nullptr) {
        return;
    }
    d.stopping = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(d.wakeFd, &one, sizeof one);
    d.gateThread.join();
    {
        std::lock_guard lock(d.mutex);
        std::vector<int> ours;
        for (const auto& [fd, h] : d.held) {
            if (h.phase != Impl::Phase::Library) {
                ours.push_back(fd);
            }
        }
        for (const int fd : ours) {
            d.closeNow(fd);
        }
    }
    ::close(std::exchange(d.listenFd, -1));
    MHD_stop_daemon(d.daemon);
    d.daemon = nullptr;
    ::close(std::exchange(d.epollFd, -1));
    ::close(std::exchange(d.wakeFd, -1));
}

} // namespace zandorel::standin
