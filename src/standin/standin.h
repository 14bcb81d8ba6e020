#pragma once
// zandorel-share serves one folder from disk as a shared cloud folder: a page
// per folder with the listing in its one-line `var primedResponse={...};`
// statement, downloads, inline views, thumbnails and, optionally, the update
// check document.
//
// The parts, each readable on its own:
//   sharefs     the folder on disk: ids, resolving them safely, listing
//   sharepage   the pages: folder page, error pages, icons
//   shareroutes what each request gets (routes, Host and method checks,
//               ranges); no sockets
//   sharehttp   the transport on libmicrohttpd: event loops, limits, clocks
//   shareurl    the public URL and the Host values it allows
// ShareServer below binds the socket and wires them together.

#include "sharefs.h"
#include "sharehttp.h"
#include "sharepage.h"
#include "shareroutes.h"
#include "shareurl.h"

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

namespace zandorel::standin {

struct ServerOptions {
    std::string bindAddress = "127.0.0.1";
    int port = 8765; // 0: any free port
    std::filesystem::path folder;
    std::filesystem::path versionInfo; // empty: no update-check route
    // The address people use; empty: http://BIND:PORT/, the machine's host
    // name for a wildcard bind. A port 0 written in it stands for the port
    // the server gets.
    std::string publicUrl;
    bool logRequests = false; // one line a request on stderr
    TransportLimits limits;
};

// The public URL given cannot serve as one (see PublicUrl::parse).
class AddressError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

class ShareServer {
public:
    // Throws FolderError when the folder cannot be served, AddressError when
    // the public URL is no usable address.
    explicit ShareServer(ServerOptions options);
    ~ShareServer();
    ShareServer(const ShareServer&) = delete;
    ShareServer& operator=(const ShareServer&) = delete;

    // Binds and starts listening; false when the address cannot be bound.
    // Connections made after this wait for run().
    bool bind();
    int port() const;
    const SharedFolder& folder() const;

    // After bind(): the public URL, "http://127.0.0.1:8765/".
    std::string publicUrl() const;
    // The public URL without its final '/': "http://127.0.0.1:8765".
    std::string baseAddress() const;
    // The root folder's page.
    std::string rootAddress() const;

    // Serves until stop(). Returns at once when stop() came first, and early
    // only when the transport cannot start.
    void run();
    // Safe from any thread, before, during or after run().
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace zandorel::standin
