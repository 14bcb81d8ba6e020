#include "sharehttp.h"

#include "sharepage.h"

#include <algorithm>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <microhttpd.h>
#include <mutex>
#include <netdb.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unordered_map>

namespace zandorel::standin {
namespace {

using Clock = std::chrono::steady_clock;

// One request on a connection, from its request line to its last byte sent.
struct Exchange {
    std::string target;
    bool headSeen = false;
    bool answered = false;
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

} // namespace

struct HttpTransport::Impl {
    Impl(Handler h, TransportLimits l, bool lg) : handler(std::move(h)), limits(l), log(lg) {}

    // A connection under the request clock.
    struct Watched {
        int fd = -1;
        Clock::time_point deadline;
        bool waiting = true; // for a complete request
        bool closed = false; // shut down by the clock
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

    static void connectionEvent(void* cls, MHD_Connection* connection, void**,
                                MHD_ConnectionNotificationCode code) {
        auto& d = *static_cast<Impl*>(cls);
        std::lock_guard lock(d.mutex);
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            Watched& watched = d.watched[connection];
            watched.fd = info == nullptr ? -1 : info->connect_fd;
            watched.deadline = Clock::now() + d.limits.requestTime;
        } else {
            // Called before the library closes the socket: once erased here,
            // the clock never touches a descriptor that may be reused.
            d.watched.erase(connection);
        }
    }

    static void completed(void* cls, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
        delete static_cast<Exchange*>(*context);
        *context = nullptr;
        auto& d = *static_cast<Impl*>(cls);
        std::lock_guard lock(d.mutex);
        if (const auto found = d.watched.find(connection); found != d.watched.end()) {
            found->second.waiting = true;
            found->second.deadline = Clock::now() + d.limits.requestTime;
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

        Request request;
        request.method = method == nullptr ? std::string_view() : std::string_view(method);
        request.target = exchange->target;
        const std::string_view v = version == nullptr ? std::string_view() : std::string_view(version);
        request.http11 = !v.empty() && v != "HTTP/1.0" && v != "HTTP/0.9";
        MHD_get_connection_values(connection, MHD_HEADER_KIND, collectHeader, &request);

        // A body not worth reading is refused before any of it is read.
        if (!exchange->headSeen) {
            exchange->headSeen = true;
            if (!refusesBody(request)) {
                return MHD_YES;
            }
        }
        exchange->answered = true;
        {
            std::lock_guard lock(d.mutex);
            if (const auto found = d.watched.find(connection); found != d.watched.end()) {
                found->second.waiting = false;
            }
        }

        Response response;
        try {
            response = d.handler(request);
        } catch (const std::exception&) {
            response = Response();
            response.status = 500;
            response.setHeader("Content-Type", "text/html; charset=utf-8");
            response.body = errorPage(500, "The request failed.");
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

    // Closes the connections whose request is overdue. Shutting a socket
    // down wakes its event loop, which then sees the end and closes it.
    void watch() {
        const auto tick =
            std::clamp(limits.requestTime / 4, std::chrono::milliseconds(20), std::chrono::milliseconds(250));
        std::unique_lock lock(mutex);
        while (!stopping) {
            const Clock::time_point now = Clock::now();
            for (auto& [connection, watched] : watched) {
                if (watched.waiting && !watched.closed && watched.fd >= 0 && watched.deadline <= now) {
                    ::shutdown(watched.fd, SHUT_RDWR);
                    watched.closed = true;
                }
            }
            wake.wait_for(lock, tick);
        }
    }

    Handler handler;
    TransportLimits limits;
    bool log;
    MHD_Daemon* daemon = nullptr;

    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::unordered_map<MHD_Connection*, Watched> watched;
    std::thread watcher;
};

HttpTransport::HttpTransport(Handler handler, TransportLimits limits, bool log)
    : impl_(std::make_unique<Impl>(std::move(handler), limits, log)) {}

HttpTransport::~HttpTransport() {
    stop();
}

bool HttpTransport::start(int listenFd) {
    Impl& d = *impl_;
    if (d.daemon != nullptr) {
        return false;
    }
    // Every event loop accepts from the one socket.
    const int flags = ::fcntl(listenFd, F_GETFL);
    ::fcntl(listenFd, F_SETFL, flags | O_NONBLOCK);
    // One event loop needs no pool.
    unsigned threads = d.limits.threads;
    if (threads == 0) {
        threads = std::clamp(std::thread::hardware_concurrency(), 2U, 4U);
    }
    d.stopping = false;
    d.daemon = MHD_start_daemon(
        MHD_USE_EPOLL_INTERNAL_THREAD | MHD_USE_ERROR_LOG, 0, nullptr, nullptr, &Impl::access, &d,
        MHD_OPTION_EXTERNAL_LOGGER, &Impl::logMessage, &d, MHD_OPTION_LISTEN_SOCKET, listenFd,
        MHD_OPTION_THREAD_POOL_SIZE, threads > 1 ? threads : 0U, MHD_OPTION_CONNECTION_LIMIT,
        std::max(d.limits.connections, threads), MHD_OPTION_PER_IP_CONNECTION_LIMIT, d.limits.perAddress,
        MHD_OPTION_CONNECTION_TIMEOUT, d.limits.idleSeconds, MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        static_cast<std::size_t>(2 * kMaxRequestHead), MHD_OPTION_URI_LOG_CALLBACK, &Impl::requestLine, &d,
        MHD_OPTION_NOTIFY_COMPLETED, &Impl::completed, &d, MHD_OPTION_NOTIFY_CONNECTION,
        &Impl::connectionEvent, &d, MHD_OPTION_END);
    if (d.daemon == nullptr) {
        return false;
    }
    d.watcher = std::thread([&d] { d.watch(); });
    return true;
}

void HttpTransport::stop() {
    Impl& d = *impl_;
    if (d.daemon == nullptr) {
        return;
    }
    {
        std::lock_guard lock(d.mutex);
        d.stopping = true;
    }
    d.wake.notify_all();
    d.watcher.join();
    MHD_stop_daemon(d.daemon);
    d.daemon = nullptr;
}

} // namespace zandorel::standin
