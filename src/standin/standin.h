#pragma once
// zandorel-share serves one folder from disk as a shared cloud folder: a page
// per folder with the listing in its one-line `var primedResponse={...};`
// statement, downloads, inline views, thumbnails and, optionally, the update
// check document.
//
// Routes (GET and HEAD only):
//   /?cid=CID&id=ID          folder page; a file's id redirects to its view
//   /                        without a query: redirects to the root page
//   /download?id=ID          file bytes as an attachment
//   /view?id=ID              file bytes inline; a folder redirects to its page
//   /thumbnail/96?id=ID      the image itself for images, else a generic icon
//   /thumbnail/176?id=ID
//   /icons/file.svg, /icons/folder.svg
//   /tools/checkver/index.php   the --versioninfo document, when configured
// The routes taking an id also accept a `cid`, which must then match.

#include "sharefs.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zandorel::standin {

inline constexpr std::size_t kMaxRequestBody = 64 * 1024;
// Request line and headers together.
inline constexpr std::size_t kMaxRequestHead = 64 * 1024;
inline constexpr std::size_t kMaxVersionInfo = 1024 * 1024;

struct ServerOptions {
    std::string bindAddress = "127.0.0.1";
    int port = 8765; // 0: any free port
    std::filesystem::path folder;
    std::filesystem::path versionInfo; // empty: no update-check route
    bool logRequests = false;          // one line a request on stderr
};

// The page of a shared folder, `entries` being its listing and `base` the
// scheme and authority every published address starts with
// ("http://127.0.0.1:8765").
std::string folderPage(const SharedFolder& share, const Node& folder, const std::vector<Entry>& entries,
                       std::string_view base);

class ShareServer {
public:
    // Throws FolderError when the folder cannot be served.
    explicit ShareServer(ServerOptions options);
    ~ShareServer();
    ShareServer(const ShareServer&) = delete;
    ShareServer& operator=(const ShareServer&) = delete;

    // Binds and starts listening; false when the address cannot be bound.
    // Connections made after this wait for run().
    bool bind();
    int port() const;
    const SharedFolder& folder() const;

    // "http://127.0.0.1:8765"
    std::string baseAddress() const;
    // The root folder's page.
    std::string rootAddress() const;

    // Serves until stop(). Returns at once when stop() came first.
    void run();
    // Safe from any thread, before, during or after run().
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace zandorel::standin
