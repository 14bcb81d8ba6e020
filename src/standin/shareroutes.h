#pragma once
// What the service answers. A request comes in as its parts, already read by
// the transport, and leaves as a Response for the transport to send; nothing
// here touches a socket.
//
// Before any route: a request must name this service in its Host field (400
// without one in HTTP/1.1, 421 for another host), use GET or HEAD (405 with
// Allow) and carry no body worth reading (413).
//
// Routes (HEAD answers as GET, without the body):
//   /?cid=CID&id=ID          folder page; a file's id redirects to its view
//   /                        without a query: redirects to the root page
//   /download?id=ID          file bytes as an attachment
//   /view?id=ID              file bytes inline; a folder redirects to its page
//   /thumbnail/96?id=ID      the image itself for images, else a generic icon
//   /thumbnail/176?id=ID
//   /icons/file.svg, /icons/folder.svg
//   /tools/checkver/index.php   the --versioninfo document, when configured
// The routes taking an id also accept a `cid`, which must then match. File
// bytes honour one byte range (see sharerange.h) and If-Range.

#include "sharefs.h"
#include "shareurl.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zandorel::standin {

inline constexpr std::size_t kMaxRequestBody = std::size_t{64} * 1024;
// Request line and header fields together.
inline constexpr std::size_t kMaxRequestHead = std::size_t{64} * 1024;
inline constexpr std::size_t kMaxVersionInfo = std::size_t{1024} * 1024;

struct Request {
    std::string_view method;
    std::string_view target;             // as received: path and query, still percent-encoded
    bool http11 = true;                  // HTTP/1.1 or later
    std::vector<std::string_view> hosts; // every Host field
    std::optional<std::string_view> range;
    std::optional<std::string_view> ifRange;
    std::optional<std::string_view> contentLength;
    bool transferEncoding = false;
};

// True when the request announces a body that is refused unread: any
// Transfer-Encoding, or a Content-Length that is no number or above
// kMaxRequestBody. The transport answers such a request at once.
bool refusesBody(const Request& request);

// An open descriptor, closed with its last owner.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle() { reset(); }
    FileHandle(FileHandle&& other) noexcept : fd_(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset();

private:
    int fd_ = -1;
};

struct Response {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
    // When set, the body is this text, shared with other answers, instead of
    // `body`.
    std::shared_ptr<const std::string> sharedBody;
    // When open, the body is `length` bytes of this file from `offset`
    // instead of `body`.
    FileHandle file;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;

    void setHeader(std::string name, std::string value);
    // The first header of that name (letter case ignored), empty when none.
    std::string_view header(std::string_view name) const;
};

// Built folder pages, shared by every answer that sends one: however many
// clients read a folder's page at once, it is held once. A page is built again
// when the folder's listing differs in anything it shows (a name, a size, a
// date, whether an entry is shared), and lives only as long as an answer
// still sends it.
class PageCache {
public:
    using Build = std::function<std::string(const std::vector<Entry>& listing)>;

    // The page of the folder at `relative` for `listing`: the one already
    // built for an equal listing while it is still in use, else `build`'s.
    std::shared_ptr<const std::string> page(const std::string& relative, std::vector<Entry> listing,
                                            const Build& build);

private:
    struct Built {
        std::vector<Entry> listing;
        std::string html;
    };
    struct Slot {
        std::mutex building; // one build of a folder at a time
        std::weak_ptr<const Built> built;
    };
    std::mutex mutex_;
    std::unordered_map<std::string, std::shared_ptr<Slot>> slots_;
};

class Routes {
public:
    // `share` must outlive the routes. An empty `versionInfo` leaves the
    // update-check route out.
    Routes(const SharedFolder& share, PublicUrl url, HostCheck hosts, std::filesystem::path versionInfo);

    Response answer(const Request& request) const;

    const PublicUrl& url() const { return url_; }
    // The root folder's page: "http://127.0.0.1:8765/?cid=...&id=...!root".
    std::string rootAddress() const;

private:
    struct Query;
    Response route(const Request& request) const;
    Response folderRoute(const Query& query) const;
    Response fileRoute(const Request& request, const Query& query, bool attachment) const;
    Response thumbnailRoute(const Request& request, const Query& query) const;
    Response versionRoute() const;
    Response sendFile(const Request& request, const Node& node, bool attachment) const;
    std::optional<Node> item(const Query& query) const;
    // "/?cid=...&id=ID", after the public URL's path.
    std::string pageTarget(std::string_view id) const;

    const SharedFolder& share_;
    PublicUrl url_;
    HostCheck hosts_;
    std::filesystem::path versionInfo_;
    std::string base_;
    std::string linkPrefix_;
    mutable PageCache pages_;
};

} // namespace zandorel::standin
