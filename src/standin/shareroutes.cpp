#include "shareroutes.h"

#include "sharepage.h"
#include "sharerange.h"
#include "sharetext.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace zandorel::standin {

struct Routes::Query {
    std::vector<std::pair<std::string, std::string>> params;

    std::size_t count(std::string_view key) const {
        std::size_t n = 0;
        for (const auto& [k, v] : params) {
            n += k == key ? 1 : 0;
        }
        return n;
    }
    // A parameter given exactly once.
    std::optional<std::string> single(std::string_view key) const {
        std::optional<std::string> found;
        for (const auto& [k, v] : params) {
            if (k == key) {
                if (found) {
                    return std::nullopt;
                }
                found = v;
            }
        }
        return found;
    }
};

namespace {

constexpr std::string_view kHtmlType = "text/html; charset=utf-8";

// Content-Security-Policy of served files: whatever a shared HTML or SVG file
// holds runs, if at all, in an origin of its own.
constexpr const char* kFilePolicy = "sandbox";
// Folder pages need no script to run and load nothing from elsewhere.
constexpr const char* kPagePolicy = "default-src 'none'; style-src 'unsafe-inline'; img-src 'self'";

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// %XX decoded; a '%' not followed by two hex digits stays as it is.
std::string percentDecode(std::string_view text, bool plusIsSpace) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 && hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

Response fail(int status, std::string_view message) {
    Response res;
    res.status = status;
    res.setHeader("Content-Type", std::string(kHtmlType));
    res.setHeader("Cache-Control", "no-store");
    res.body = errorPage(status, message);
    return res;
}

Response notFound() {
    return fail(404, "There is no such shared item.");
}

Response forbidden() {
    return fail(403, "This item is not shared.");
}

Response redirect(std::string location) {
    Response res;
    res.status = 302;
    res.setHeader("Location", std::move(location));
    return res;
}

Response content(std::string body, std::string_view type) {
    Response res;
    res.setHeader("Content-Type", std::string(type));
    res.body = std::move(body);
    return res;
}

// A strong validator of the file as it is now: any change of its contents
// through a write changes its size or modification time.
std::string entityTag(const struct stat& st) {
    char tag[80];
    std::snprintf(tag, sizeof tag, "\"%llx-%llx-%llx.%lx\"", static_cast<unsigned long long>(st.st_ino),
                  static_cast<unsigned long long>(st.st_size),
                  static_cast<unsigned long long>(st.st_mtim.tv_sec),
                  static_cast<unsigned long>(st.st_mtim.tv_nsec));
    return tag;
}

} // namespace

bool refusesBody(const Request& request) {
    if (request.transferEncoding) {
        return true;
    }
    if (!request.contentLength) {
        return false;
    }
    std::size_t value = 0;
    for (const char c : *request.contentLength) {
        if (c < '0' || c > '9') {
            return true;
        }
        value = value * 10 + static_cast<std::size_t>(c - '0');
        if (value > kMaxRequestBody) {
            return true;
        }
    }
    return false;
}

std::shared_ptr<const std::string> PageCache::page(const std::string& relative, std::vector<Entry> listing,
                                                   const Build& build) {
    std::shared_ptr<Slot> slot;
    {
        std::lock_guard lock(mutex_);
        // Slots of pages no answer sends any more go once they pile up.
        if (slots_.size() >= 64) {
            std::erase_if(slots_, [](const auto& item) {
                return item.second.use_count() == 1 && item.second->built.expired();
            });
        }
        std::shared_ptr<Slot>& found = slots_[relative];
        if (!found) {
            found = std::make_shared<Slot>();
        }
        slot = found;
    }
    // Requests for the same folder wait for one build instead of each
    // building a copy.
    std::lock_guard building(slot->building);
    std::shared_ptr<const Built> built = slot->built.lock();
    if (!built || built->listing != listing) {
        auto fresh = std::make_shared<Built>();
        fresh->html = build(listing);
        fresh->listing = std::move(listing);
        built = std::move(fresh);
        slot->built = built;
    }
    return {built, &built->html};
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

void FileHandle::reset() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void Response::setHeader(std::string name, std::string value) {
    for (auto& [n, v] : headers) {
        if (equalsIgnoringCase(n, name)) {
            v = std::move(value);
            return;
        }
    }
    headers.emplace_back(std::move(name), std::move(value));
}

std::string_view Response::header(std::string_view name) const {
    for (const auto& [n, v] : headers) {
        if (equalsIgnoringCase(n, name)) {
            return v;
        }
    }
    return {};
}

Routes::Routes(const SharedFolder& share, PublicUrl url, HostCheck hosts, std::filesystem::path versionInfo)
    : share_(share), url_(std::move(url)), hosts_(std::move(hosts)), versionInfo_(std::move(versionInfo)),
      base_(url_.base()), linkPrefix_(url_.pathPrefix()) {}

std::string Routes::pageTarget(std::string_view id) const {
    return linkPrefix_ + "/?cid=" + share_.cid() + "&id=" + std::string(id);
}

std::string Routes::rootAddress() const {
    return url_.base() + "/?cid=" + share_.cid() + "&id=" + share_.rootId();
}

Response Routes::answer(const Request& request) const {
    Response res = route(request);
    res.setHeader("X-Content-Type-Options", "nosniff");
    res.setHeader("Referrer-Policy", "no-referrer");
    return res;
}

Response Routes::route(const Request& request) const {
    // Which site the request is meant for decides first: a page must not go
    // to a name that merely leads here (DNS rebinding, a wrong proxy).
    if (request.hosts.size() > 1 || (request.hosts.empty() && request.http11)) {
        return fail(400, "The request must name the host it is meant for, once.");
    }
    if (!request.hosts.empty() && !hosts_.accepts(request.hosts.front())) {
        return fail(421, "This shared folder is served at " + url_.text());
    }
    if (request.method != "GET" && request.method != "HEAD") {
        Response res = fail(405, "Only GET and HEAD are served.");
        res.setHeader("Allow", "GET, HEAD");
        return res;
    }
    // Nothing here takes a body; a large one is refused before any of it is
    // kept.
    if (refusesBody(request)) {
        return fail(413, "Requests carry no body here.");
    }
    if (request.target.empty() || request.target.front() != '/') {
        return fail(400, "The request target must be a path.");
    }

    const std::size_t question = request.target.find('?');
    const std::string path = percentDecode(request.target.substr(0, question), false);
    Query query;
    if (question != std::string_view::npos) {
        std::string_view rest = request.target.substr(question + 1);
        while (!rest.empty()) {
            const std::size_t amp = rest.find('&');
            const std::string_view pair = rest.substr(0, amp);
            if (!pair.empty()) {
                const std::size_t eq = pair.find('=');
                query.params.emplace_back(
                    percentDecode(pair.substr(0, eq), true),
                    eq == std::string_view::npos ? std::string() : percentDecode(pair.substr(eq + 1), true));
            }
            if (amp == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(amp + 1);
        }
    }

    if (path == "/") {
        return folderRoute(query);
    }
    if (path == "/download" || path == "/view") {
        return fileRoute(request, query, path == "/download");
    }
    if (path == "/thumbnail/96" || path == "/thumbnail/176") {
        return thumbnailRoute(request, query);
    }
    if (path == "/icons/file.svg") {
        return content(std::string(kFileIcon), "image/svg+xml");
    }
    if (path == "/icons/folder.svg") {
        return content(std::string(kFolderIcon), "image/svg+xml");
    }
    if (path == "/tools/checkver/index.php" && !versionInfo_.empty()) {
        return versionRoute();
    }
    return fail(404, "The request cannot be served.");
}

std::optional<Node> Routes::item(const Query& query) const {
    const std::optional<std::string> id = query.single("id");
    if (!id) {
        return std::nullopt;
    }
    if (query.count("cid") > 0) {
        const std::optional<std::string> cid = query.single("cid");
        if (!cid || *cid != share_.cid()) {
            return std::nullopt;
        }
    }
    return share_.resolve(*id);
}

Response Routes::folderRoute(const Query& query) const {
    if (query.params.empty()) {
        return redirect(pageTarget(share_.rootId()));
    }
    const std::optional<std::string> cid = query.single("cid");
    const std::optional<std::string> id = query.single("id");
    if (!cid || !id || *cid != share_.cid()) {
        return notFound();
    }
    const std::optional<Node> node = share_.resolve(*id);
    if (!node) {
        return notFound();
    }
    if (!node->folder) {
        return redirect(linkPrefix_ + "/view?id=" + *id);
    }
    if (!node->shared) {
        return forbidden();
    }
    std::vector<Entry> entries;
    try {
        entries = share_.list(*node);
    } catch (const std::system_error& e) {
        return e.code() == std::errc::permission_denied ? forbidden() : notFound();
    }
    Response res = content({}, kHtmlType);
    res.sharedBody = pages_.page(node->relative, std::move(entries), [&](const std::vector<Entry>& listing) {
        return folderPage(share_, *node, listing, base_, linkPrefix_);
    });
    res.setHeader("Cache-Control", "no-store");
    res.setHeader("Content-Security-Policy", kPagePolicy);
    return res;
}

Response Routes::fileRoute(const Request& request, const Query& query, bool attachment) const {
    const std::optional<Node> node = item(query);
    if (!node) {
        return notFound();
    }
    if (!node->shared) {
        return forbidden();
    }
    if (node->folder) {
        return redirect(pageTarget(share_.idFor(node->relative)));
    }
    return sendFile(request, *node, attachment);
}

Response Routes::thumbnailRoute(const Request& request, const Query& query) const {
    const std::optional<Node> node = item(query);
    if (!node) {
        return notFound();
    }
    if (!node->folder && !node->shared) {
        return forbidden();
    }
    if (!node->folder &&
        isThumbnailImage(mimeTypeFor(splitExtension(lastComponent(node->relative)).extension))) {
        return sendFile(request, *node, false);
    }
    return content(std::string(node->folder ? kFolderIcon : kFileIcon), "image/svg+xml");
}

Response Routes::sendFile(const Request& request, const Node& node, bool attachment) const {
    FileHandle file(share_.openFile(node));
    if (!file) {
        return (errno == EACCES || errno == EPERM) ? forbidden() : notFound();
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) {
        return notFound();
    }
    const auto size = static_cast<std::uint64_t>(st.st_size);
    const std::string tag = entityTag(st);
    const std::string modified = httpDate(st.st_mtim.tv_sec);

    // Ranges only for GET; If-Range sends the whole file when it has changed
    // since the part the client holds.
    RangeChoice choice;
    if (request.method == "GET" && request.range &&
        (!request.ifRange || *request.ifRange == tag || *request.ifRange == modified)) {
        choice = chooseRange(*request.range, size);
    }
    if (choice.kind == RangeChoice::Unsatisfiable) {
        Response res = fail(416, "The requested range lies beyond the end of the file.");
        res.setHeader("Content-Range", contentRange(choice, size));
        res.setHeader("Accept-Ranges", "bytes");
        return res;
    }

    const std::string_view name = lastComponent(node.relative);
    Response res;
    res.setHeader("Content-Type", std::string(mimeTypeFor(splitExtension(name).extension)));
    res.setHeader("Content-Disposition", contentDisposition(attachment ? "attachment" : "inline", name));
    res.setHeader("Content-Security-Policy", kFilePolicy);
    res.setHeader("Accept-Ranges", "bytes");
    res.setHeader("ETag", tag);
    res.setHeader("Last-Modified", modified);
    if (choice.kind == RangeChoice::Part) {
        res.status = 206;
        res.setHeader("Content-Range", contentRange(choice, size));
        res.offset = choice.first;
        res.length = choice.length;
    } else {
        res.length = size;
    }
    res.file = std::move(file);
    return res;
}

Response Routes::versionRoute() const {
    // Read at every request, so the document can be edited while serving.
    // Opened without blocking and read only when it is a regular file: a
    // FIFO named here must not hold the service.
    FileHandle file(::open(versionInfo_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st {};
    if (!file || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return notFound();
    }
    std::string text(kMaxVersionInfo + 1, '\0');
    std::size_t filled = 0;
    while (filled < text.size()) {
        const ssize_t got = ::read(file.get(), text.data() + filled, text.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return fail(500, "The version document cannot be read.");
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    if (filled > kMaxVersionInfo) {
        return fail(500, "The version document cannot be read.");
    }
    text.resize(filled);
    Response res = content(std::move(text), "text/xml; charset=utf-8");
    res.setHeader("Cache-Control", "no-store");
    return res;
}

} // namespace zandorel::standin
