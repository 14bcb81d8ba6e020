#include "standin.h"

#include "sharetext.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <httplib.h>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zandorel::standin {
namespace {

constexpr std::string_view kHtmlType = "text/html; charset=utf-8";
constexpr std::size_t kChunk = 64 * 1024;

// Content-Security-Policy of served files: whatever a shared HTML or SVG file
// holds runs, if at all, in an origin of its own.
constexpr const char* kFilePolicy = "sandbox";
// Folder pages need no script to run and load nothing from elsewhere.
constexpr const char* kPagePolicy = "default-src 'none'; style-src 'unsafe-inline'; img-src 'self'";

constexpr std::string_view kFileIcon =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"96\" height=\"96\" viewBox=\"0 0 24 24\">"
    "<path fill=\"#e8eaed\" stroke=\"#5f6368\" d=\"M6 2h8l5 5v15H6z\"/>"
    "<path fill=\"none\" stroke=\"#5f6368\" d=\"M14 2v5h5\"/></svg>\n";
constexpr std::string_view kFolderIcon =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"96\" height=\"96\" viewBox=\"0 0 24 24\">"
    "<path fill=\"#f6c344\" stroke=\"#b8860b\" d=\"M2 5h7l2 2h11v13H2z\"/></svg>\n";

std::string_view lastComponent(std::string_view relative) {
    const std::size_t slash = relative.rfind('/');
    return slash == std::string_view::npos ? relative : relative.substr(slash + 1);
}

std::string_view parentOf(std::string_view relative) {
    const std::size_t slash = relative.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash);
}

std::string itemCount(std::uintmax_t count) {
    return std::to_string(count) + (count == 1 ? " item" : " items");
}

std::string_view statusText(int status) {
    switch (status) {
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 416:
        return "Range Not Satisfiable";
    case 500:
        return "Internal Server Error";
    default:
        return "Error";
    }
}

std::string errorPage(int status, std::string_view message) {
    std::string title = std::to_string(status);
    title += ' ';
    title += statusText(status);
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
    appendHtml(page, title);
    page += "</title>\n</head>\n<body>\n<h1>";
    appendHtml(page, title);
    page += "</h1>\n<p>";
    appendHtml(page, message);
    page += "</p>\n</body>\n</html>\n";
    return page;
}

void fail(httplib::Response& res, int status, std::string_view message) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(errorPage(status, message), std::string(kHtmlType));
}

void notFound(httplib::Response& res) {
    fail(res, 404, "There is no such shared item.");
}
void forbidden(httplib::Response& res) {
    fail(res, 403, "This item is not shared.");
}

// A parameter given exactly once.
std::optional<std::string> single(const httplib::Request& req, const char* key) {
    if (req.get_param_value_count(key) != 1) {
        return std::nullopt;
    }
    return req.get_param_value(key);
}

// The Host header when it is a plain host name or address with an optional
// port; anything else is not echoed into pages.
bool plainHost(std::string_view host) {
    if (host.empty() || host.size() > 255) {
        return false;
    }
    for (const char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                        c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
        if (!ok) {
            return false;
        }
    }
    return true;
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(std::min<std::size_t>(text.size(), 512));
    for (const char c : text.substr(0, 512)) {
        const auto b = static_cast<unsigned char>(c);
        out += (b < 0x20 || b == 0x7f) ? '?' : c;
    }
    return out;
}

// Closes the descriptor when the last response using it is gone.
struct OpenFile {
    explicit OpenFile(int descriptor) : fd(descriptor) {}
    ~OpenFile() { ::close(fd); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    int fd;
};

void sendText(httplib::Response& res, std::string text, std::string_view type) {
    // Through a provider with a known length: httplib then sends it as it is,
    // without compressing large pages on the fly.
    auto shared = std::make_shared<const std::string>(std::move(text));
    const std::size_t length = shared->size();
    res.set_content_provider(length, std::string(type),
                             [shared](std::size_t offset, std::size_t count, httplib::DataSink& sink) {
                                 if (offset >= shared->size()) {
                                     return false;
                                 }
                                 count = std::min(count, shared->size() - offset);
                                 return sink.write(shared->data() + offset, count);
                             });
}

// One "url" value: base, path and id, all in one JSON string.
void appendUrl(std::string& out, std::string_view base, std::string_view path, std::string_view id) {
    out += '"';
    appendJsonText(out, base);
    out += path;
    out += id; // cid, '!' and hex digits only
    out += '"';
}

bool isThumbnailImage(std::string_view mime) {
    return mime.starts_with("image/") && mime != "image/svg+xml";
}

void appendEntry(std::string& out, const Entry& entry, std::string_view id, std::string_view parentId,
                 std::string_view base) {
    const NameParts parts = entry.folder ? NameParts{entry.name, {}} : splitExtension(entry.name);
    const std::string_view mime = entry.folder ? std::string_view("folder") : mimeTypeFor(parts.extension);
    out += "{\"name\":";
    appendJsonString(out, parts.stem);
    out += ",\"extension\":";
    appendJsonString(out, parts.extension);
    out += ",\"id\":\"";
    out += id;
    out += entry.folder ? "\",\"itemType\":\"folder\",\"size\":" : "\",\"itemType\":\"file\",\"size\":";
    appendNumber(out, entry.size);
    out += ",\"displaySize\":";
    appendJsonString(out, entry.folder ? itemCount(entry.size) : displaySize(entry.size));
    out += ",\"dateModified\":\"";
    appendIsoUtc(out, entry.modified);
    out += "\",\"mimeType\":";
    appendJsonString(out, mime);
    out += entry.shared ? ",\"sharingLevel\":\"Public\",\"sharingLevelValue\":0"
                        : ",\"sharingLevel\":\"Private\",\"sharingLevelValue\":2";
    out += ",\"urls\":{\"download\":";
    appendUrl(out, base, "/download?id=", id);
    out += ",\"viewInBrowser\":";
    appendUrl(out, base, "/view?id=", id);
    out += "},\"thumbnails\":[";
    const bool image = !entry.folder && isThumbnailImage(mime);
    for (const std::string_view size : {std::string_view("96"), std::string_view("176")}) {
        out +=
            size == "96" ? "{\"width\":96,\"height\":96,\"url\":" : ",{\"width\":176,\"height\":176,\"url\":";
        if (entry.folder) {
            appendUrl(out, base, "/icons/folder.svg", {});
        } else if (image) {
            appendUrl(out, base, size == "96" ? "/thumbnail/96?id=" : "/thumbnail/176?id=", id);
        } else {
            appendUrl(out, base, "/icons/file.svg", {});
        }
        out += '}';
    }
    // A string last: the page's reader takes a bare value up to the next comma.
    out += "],\"parentId\":\"";
    out += parentId;
    out += "\"}";
}

void appendRow(std::string& out, const Entry& entry, std::string_view cid, std::string_view id) {
    out += "<tr><td>";
    if (!entry.shared) {
        appendHtml(out, entry.name);
        out += entry.folder ? "/" : "";
    } else if (entry.folder) {
        out += "<a href=\"/?cid=";
        out += cid;
        out += "&amp;id=";
        out += id;
        out += "\">";
        appendHtml(out, entry.name);
        out += "/</a>";
    } else {
        out += "<a href=\"/view?id=";
        out += id;
        out += "\">";
        appendHtml(out, entry.name);
        out += "</a> (<a href=\"/download?id=";
        out += id;
        out += "\">download</a>)";
    }
    out += "</td><td>";
    out += entry.folder ? itemCount(entry.size) : displaySize(entry.size);
    out += "</td><td>";
    appendIsoUtc(out, entry.modified);
    out += entry.shared ? "</td><td>Public</td></tr>\n" : "</td><td>Private</td></tr>\n";
}

// One request's worth of a connection: at most `budget` bytes are read, so
// that no request line or header, however long, is kept without end (httplib
// 0.11 reads a line for as long as it has no end). Writes never raise SIGPIPE.
class BoundedStream final : public httplib::Stream {
public:
    BoundedStream(socket_t sock, int readTimeoutMs, int writeTimeoutMs, std::size_t budget)
        : sock_(sock), readTimeoutMs_(readTimeoutMs), writeTimeoutMs_(writeTimeoutMs), budget_(budget) {}

    bool is_readable() const override { return wait(POLLIN, readTimeoutMs_); }
    bool is_writable() const override { return wait(POLLOUT, writeTimeoutMs_); }

    ssize_t read(char* ptr, std::size_t size) override {
        if (size == 0) {
            return 0;
        }
        if (budget_ == 0) {
            return -1;
        }
        if (offset_ == filled_) {
            if (!is_readable()) {
                return -1;
            }
            ssize_t got;
            do {
                got = ::recv(sock_, buffer_.data(), std::min(buffer_.size(), budget_), 0);
            } while (got < 0 && errno == EINTR);
            if (got <= 0) {
                return got;
            }
            offset_ = 0;
            filled_ = static_cast<std::size_t>(got);
        }
        const std::size_t count = std::min({size, filled_ - offset_, budget_});
        std::memcpy(ptr, buffer_.data() + offset_, count);
        offset_ += count;
        budget_ -= count;
        return static_cast<ssize_t>(count);
    }

    ssize_t write(const char* ptr, std::size_t size) override {
        if (!is_writable()) {
            return -1;
        }
        ssize_t sent;
        do {
            sent = ::send(sock_, ptr, size, MSG_NOSIGNAL);
        } while (sent < 0 && errno == EINTR);
        return sent;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        address(::getpeername, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        address(::getsockname, ip, port);
    }
    socket_t socket() const override { return sock_; }

private:
    bool wait(short events, int timeoutMs) const {
        pollfd p{sock_, events, 0};
        int ready;
        do {
            ready = ::poll(&p, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        return ready > 0;
    }

    void address(int (*query)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
        sockaddr_storage storage{};
        socklen_t length = sizeof storage;
        if (query(sock_, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
            return;
        }
        char host[NI_MAXHOST];
        char service[NI_MAXSERV];
        if (::getnameinfo(reinterpret_cast<sockaddr*>(&storage), length, host, sizeof host, service,
                          sizeof service, NI_NUMERICHOST | NI_NUMERICSERV) == 0) {
            ip = host;
            port = std::atoi(service);
        }
    }

    socket_t sock_;
    int readTimeoutMs_;
    int writeTimeoutMs_;
    std::size_t budget_;
    std::array<char, 4096> buffer_{};
    std::size_t offset_ = 0;
    std::size_t filled_ = 0;
};

int milliseconds(time_t seconds, time_t microseconds) {
    return static_cast<int>(seconds * 1000 + microseconds / 1000);
}

class Http : public httplib::Server {
public:
    // Closes a socket bound by bind() that never got to run(), which httplib
    // itself leaves open.
    void closeUnused() {
        const socket_t sock = svr_sock_.exchange(INVALID_SOCKET);
        if (sock != INVALID_SOCKET) {
            ::close(sock);
        }
    }

private:
    // The connection loop of httplib, reading through a BoundedStream.
    bool process_and_close_socket(socket_t sock) override {
        bool ok = false;
        for (std::size_t left = keep_alive_max_count_; left > 0 && awaitRequest(sock); --left) {
            BoundedStream stream(sock, milliseconds(read_timeout_sec_, read_timeout_usec_),
                                 milliseconds(write_timeout_sec_, write_timeout_usec_),
                                 kMaxRequestHead + kMaxRequestBody);
            bool closed = false;
            ok = process_request(stream, left == 1, closed, nullptr);
            if (!ok || closed) {
                break;
            }
        }
        ::shutdown(sock, SHUT_RDWR);
        ::close(sock);
        return ok;
    }

    // Waits for the next request on a connection, giving up when the
    // keep-alive time is over or the server stops.
    bool awaitRequest(socket_t sock) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(keep_alive_timeout_sec_);
        while (svr_sock_ != INVALID_SOCKET) {
            pollfd p{sock, POLLIN, 0};
            const int ready = ::poll(&p, 1, 50);
            if (ready > 0) {
                return true;
            }
            if ((ready < 0 && errno != EINTR) || std::chrono::steady_clock::now() >= end) {
                return false;
            }
        }
        return false;
    }
};

} // namespace

std::string folderPage(const SharedFolder& share, const Node& folder, const std::vector<Entry>& entries,
                       std::string_view base) {
    const std::string& cid = share.cid();
    const std::string folderId = share.idFor(folder.relative);
    const std::string parentId =
        folder.relative.empty() ? std::string() : share.idFor(parentOf(folder.relative));
    const std::string folderName =
        folder.relative.empty() ? share.rootName() : std::string(lastComponent(folder.relative));

    // Every entry's id is the folder's own hex path, an encoded '/' and the
    // hex of its name.
    std::string idPrefix = cid + "!";
    if (!folder.relative.empty()) {
        appendHex(idPrefix, folder.relative);
        appendHex(idPrefix, "/");
    }

    // One allocation for the whole page in the usual case: some 600 bytes an
    // entry, its address base, id and name several times over.
    std::size_t estimate = 4096 + 4 * folderName.size();
    for (const Entry& entry : entries) {
        estimate +=
            600 + 6 * base.size() + 6 * (idPrefix.size() + 2 * entry.name.size()) + 4 * entry.name.size();
    }
    std::string page;
    page.reserve(estimate);

    // The data statement comes first, before anything that shows a name, and
    // on one line of its own.
    page += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<script>\n";
    page += "var primedResponse={\"id\":\"";
    page += folderId;
    page += "\",\"name\":";
    appendJsonString(page, folderName);
    page += ",\"cid\":\"";
    page += cid;
    page += "\",\"itemType\":\"folder\",\"children\":[";
    std::string id;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) {
            page += ',';
        }
        id.assign(idPrefix);
        appendHex(id, entries[i].name);
        appendEntry(page, entries[i], id, folderId, base);
    }
    page += "],\"totalCount\":";
    page += std::to_string(entries.size());
    page += ",\"parentId\":\"";
    page += parentId;
    page += "\"};\n</script>\n<title>";
    appendHtml(page, folderName);
    page += " - shared folder</title>\n"
            "<style>body{font-family:sans-serif;margin:2em}table{border-collapse:collapse}"
            "th,td{padding:.3em .8em;text-align:left;border-bottom:1px solid #ddd}</style>\n"
            "</head>\n<body>\n<h1>";
    appendHtml(page, folderName);
    page += "</h1>\n";
    if (!folder.relative.empty()) {
        page += "<p><a href=\"/?cid=";
        page += cid;
        page += "&amp;id=";
        page += parentId;
        page += "\">Parent folder</a></p>\n";
    }
    page += "<p>";
    page += itemCount(entries.size());
    page += "</p>\n<table>\n<thead><tr><th>Name</th><th>Size</th><th>Modified (UTC)</th><th>Sharing</th></tr>"
            "</thead>\n<tbody>\n";
    for (const Entry& entry : entries) {
        id.assign(idPrefix);
        appendHex(id, entry.name);
        appendRow(page, entry, cid, id);
    }
    page += "</tbody>\n</table>\n</body>\n</html>\n";
    return page;
}

struct ShareServer::Impl {
    explicit Impl(ServerOptions o) : options(std::move(o)), share(options.folder) {}

    std::string base(const httplib::Request& req) const {
        const std::string host = req.get_header_value("Host");
        return plainHost(host) ? "http://" + host : defaultBase;
    }

    std::string pageAddress(std::string_view id) const {
        return "/?cid=" + share.cid() + "&id=" + std::string(id);
    }

    // The item named by the request's id (and cid, when given).
    std::optional<Node> item(const httplib::Request& req) const {
        const std::optional<std::string> id = single(req, "id");
        if (!id) {
            return std::nullopt;
        }
        if (req.has_param("cid")) {
            const std::optional<std::string> cid = single(req, "cid");
            if (!cid || *cid != share.cid()) {
                return std::nullopt;
            }
        }
        return share.resolve(*id);
    }

    void routes();
    void folderRoute(const httplib::Request& req, httplib::Response& res) const;
    void fileRoute(const httplib::Request& req, httplib::Response& res, bool attachment) const;
    void thumbnailRoute(const httplib::Request& req, httplib::Response& res) const;
    void versionRoute(httplib::Response& res) const;
    void sendFile(const Node& node, httplib::Response& res, bool attachment) const;

    ServerOptions options;
    SharedFolder share;
    Http http;
    std::string defaultBase;
    int port = -1;

    std::mutex mutex;
    std::condition_variable ended;
    bool stopRequested = false;
    bool running = false;
};

void ShareServer::Impl::folderRoute(const httplib::Request& req, httplib::Response& res) const {
    if (req.params.empty()) {
        res.set_redirect(pageAddress(share.rootId()));
        return;
    }
    const std::optional<std::string> cid = single(req, "cid");
    const std::optional<std::string> id = single(req, "id");
    if (!cid || !id || *cid != share.cid()) {
        notFound(res);
        return;
    }
    const std::optional<Node> node = share.resolve(*id);
    if (!node) {
        notFound(res);
        return;
    }
    if (!node->folder) {
        res.set_redirect("/view?id=" + *id);
        return;
    }
    if (!node->shared) {
        forbidden(res);
        return;
    }
    std::vector<Entry> entries;
    try {
        entries = share.list(*node);
    } catch (const std::system_error& e) {
        if (e.code() == std::errc::permission_denied) {
            forbidden(res);
        } else {
            notFound(res);
        }
        return;
    }
    res.set_header("Cache-Control", "no-store");
    res.set_header("Content-Security-Policy", kPagePolicy);
    sendText(res, folderPage(share, *node, entries, base(req)), kHtmlType);
}

void ShareServer::Impl::sendFile(const Node& node, httplib::Response& res, bool attachment) const {
    const int fd = share.openFile(node);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) {
            forbidden(res);
        } else {
            notFound(res);
        }
        return;
    }
    auto file = std::make_shared<OpenFile>(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        notFound(res);
        return;
    }
    const std::string name(lastComponent(node.relative));
    const std::string mime(mimeTypeFor(splitExtension(name).extension));
    res.set_header("Content-Disposition", contentDisposition(attachment ? "attachment" : "inline", name));
    res.set_header("Content-Security-Policy", kFilePolicy);
    const auto size = static_cast<std::size_t>(st.st_size);
    if (size == 0) {
        res.set_content(std::string(), mime);
        return;
    }
    res.set_content_provider(size, mime,
                             [file](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                 std::array<char, kChunk> buffer;
                                 const std::size_t want = std::min(length, buffer.size());
                                 ssize_t got;
                                 do {
                                     got = ::pread(file->fd, buffer.data(), want, static_cast<off_t>(offset));
                                 } while (got < 0 && errno == EINTR);
                                 // A file that shrank while being sent ends the connection early.
                                 return got > 0 && sink.write(buffer.data(), static_cast<std::size_t>(got));
                             });
}

void ShareServer::Impl::fileRoute(const httplib::Request& req, httplib::Response& res,
                                  bool attachment) const {
    const std::optional<Node> node = item(req);
    if (!node) {
        notFound(res);
    } else if (!node->shared) {
        forbidden(res);
    } else if (node->folder) {
        res.set_redirect(pageAddress(share.idFor(node->relative)));
    } else {
        sendFile(*node, res, attachment);
    }
}

void ShareServer::Impl::thumbnailRoute(const httplib::Request& req, httplib::Response& res) const {
    const std::optional<Node> node = item(req);
    if (!node) {
        notFound(res);
        return;
    }
    if (!node->folder && !node->shared) {
        forbidden(res);
        return;
    }
    if (!node->folder &&
        isThumbnailImage(mimeTypeFor(splitExtension(lastComponent(node->relative)).extension))) {
        sendFile(*node, res, false);
        return;
    }
    res.set_content(std::string(node->folder ? kFolderIcon : kFileIcon), "image/svg+xml");
}

void ShareServer::Impl::versionRoute(httplib::Response& res) const {
    // Read at every request, so the document can be edited while serving.
    std::ifstream in(options.versionInfo, std::ios::binary);
    if (!in) {
        notFound(res);
        return;
    }
    std::string text(kMaxVersionInfo + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad() || static_cast<std::size_t>(in.gcount()) > kMaxVersionInfo) {
        fail(res, 500, "The version document cannot be read.");
        return;
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    res.set_header("Cache-Control", "no-store");
    res.set_content(std::move(text), "text/xml; charset=utf-8");
}

void ShareServer::Impl::routes() {
    http.set_payload_max_length(kMaxRequestBody);
    http.set_read_timeout(10, 0);
    http.set_write_timeout(10, 0);
    http.set_keep_alive_max_count(20);
    http.set_keep_alive_timeout(3);
    // Plain SO_REUSEADDR: the library default of SO_REUSEPORT would let a
    // second server bind the same port and take half of the connections.
    http.set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    http.set_default_headers({{"X-Content-Type-Options", "nosniff"}, {"Referrer-Policy", "no-referrer"}});

    http.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
        if (req.method != "GET" && req.method != "HEAD") {
            res.set_header("Allow", "GET, HEAD");
            fail(res, 405, "Only GET and HEAD are served.");
            return httplib::Server::HandlerResponse::Handled;
        }
        // Nothing here takes a body; a large one is refused before any of it
        // is kept.
        if (req.has_header("Transfer-Encoding") ||
            req.get_header_value<std::uint64_t>("Content-Length") > kMaxRequestBody) {
            fail(res, 413, "Requests carry no body here.");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (req.ranges.size() > 1) {
            // One range at a time: many ranges of one large file would turn a
            // short request into an endless answer.
            res.status = 416;
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });

    http.Get("/", [this](const httplib::Request& req, httplib::Response& res) { folderRoute(req, res); });
    http.Get("/download",
             [this](const httplib::Request& req, httplib::Response& res) { fileRoute(req, res, true); });
    http.Get("/view",
             [this](const httplib::Request& req, httplib::Response& res) { fileRoute(req, res, false); });
    for (const char* size : {"96", "176"}) {
        http.Get(std::string("/thumbnail/") + size,
                 [this](const httplib::Request& req, httplib::Response& res) { thumbnailRoute(req, res); });
    }
    http.Get("/icons/file\\.svg", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(kFileIcon), "image/svg+xml");
    });
    http.Get("/icons/folder\\.svg", [](const httplib::Request&, httplib::Response& res) {
        res.set_content(std::string(kFolderIcon), "image/svg+xml");
    });
    if (!options.versionInfo.empty()) {
        http.Get("/tools/checkver/index\\.php",
                 [this](const httplib::Request&, httplib::Response& res) { versionRoute(res); });
    }

    // Statuses httplib sets by itself (400, 404, 414, ...) get a page too.
    http.set_error_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request& req, httplib::Response& res) {
            if (!res.body.empty() || res.content_provider_ || req.ranges.size() > 1) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            res.set_content(errorPage(res.status, "The request cannot be served."), std::string(kHtmlType));
            // Handled: httplib then also writes the Content-Length.
            return httplib::Server::HandlerResponse::Handled;
        }));
    http.set_exception_handler([](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        fail(res, 500, "The request failed.");
    });
    if (options.logRequests) {
        http.set_logger([](const httplib::Request& req, const httplib::Response& res) {
            std::fprintf(stderr, "%s %s %s %d\n", printable(req.remote_addr).c_str(),
                         printable(req.method).c_str(), printable(req.target).c_str(), res.status);
        });
    }
}

ShareServer::ShareServer(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {
    impl_->routes();
}

ShareServer::~ShareServer() {
    stop();
    impl_->http.closeUnused();
}

bool ShareServer::bind() {
    Impl& d = *impl_;
    if (d.options.port == 0) {
        const int port = d.http.bind_to_any_port(d.options.bindAddress);
        if (port <= 0) {
            return false;
        }
        d.port = port;
    } else {
        if (d.options.port < 0 || d.options.port > 65535 ||
            !d.http.bind_to_port(d.options.bindAddress, d.options.port)) {
            return false;
        }
        d.port = d.options.port;
    }
    std::string host = d.options.bindAddress;
    if (host.empty() || host == "0.0.0.0") {
        host = "127.0.0.1";
    } else if (host == "::" || host == "[::]") {
        host = "[::1]";
    } else if (host.find(':') != std::string::npos && host.front() != '[') {
        host = "[" + host + "]";
    }
    d.defaultBase = "http://" + host + ":" + std::to_string(d.port);
    return true;
}

int ShareServer::port() const {
    return impl_->port;
}

const SharedFolder& ShareServer::folder() const {
    return impl_->share;
}

std::string ShareServer::baseAddress() const {
    return impl_->defaultBase;
}

std::string ShareServer::rootAddress() const {
    return impl_->defaultBase + impl_->pageAddress(impl_->share.rootId());
}

void ShareServer::run() {
    Impl& d = *impl_;
    {
        std::lock_guard lock(d.mutex);
        if (d.stopRequested || d.port < 0) {
            return;
        }
        d.running = true;
    }
    d.http.listen_after_bind();
    {
        std::lock_guard lock(d.mutex);
        d.running = false;
    }
    d.ended.notify_all();
}

void ShareServer::stop() {
    Impl& d = *impl_;
    std::unique_lock lock(d.mutex);
    d.stopRequested = true;
    // httplib only stops a server whose accept loop has begun: wait for that,
    // then for run() to end.
    while (d.running && !d.http.is_running()) {
        d.ended.wait_for(lock, std::chrono::milliseconds(1));
    }
    if (d.running) {
        d.http.stop();
        d.ended.wait(lock, [&] { return !d.running; });
    }
}

} // namespace zandorel::standin
