#pragma once
// The served folder on disk: its ids, resolving an id back to a path without
// trusting the client, and reading one folder's entries.
//
// An id is `<cid>!root` for the served folder and `<cid>!<hex>` for anything
// below it, <hex> being the lower-case hex of the UTF-8 path relative to the
// served folder, components joined by '/'. Nothing found outside the served
// folder is ever resolved or listed, whichever symbolic links lie on the way.

#include <cstdint>
#include <ctime>
#include <dirent.h>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zandorel::standin {

// The served folder is missing, not a folder or cannot be read.
class FolderError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A resolved id.
struct Node {
    std::string relative;       // empty for the served folder
    std::filesystem::path real; // canonical, inside the served folder
    bool folder = false;        // otherwise a regular file
    bool shared = true;         // false: it or a folder on its way is private
    std::uintmax_t size = 0;
    std::time_t modified = 0;
};

// One entry of a folder listing.
struct Entry {
    std::string name;
    bool folder = false;
    bool shared = true;
    std::uintmax_t size = 0; // bytes; for a folder its number of entries
    std::time_t modified = 0;

    bool operator==(const Entry&) const = default;
};

// The last component of a relative path, and the path of its folder ("" for
// the served folder).
inline std::string_view lastComponent(std::string_view relative) {
    const std::size_t slash = relative.rfind('/');
    return slash == std::string_view::npos ? relative : relative.substr(slash + 1);
}
inline std::string_view parentOf(std::string_view relative) {
    const std::size_t slash = relative.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : relative.substr(0, slash);
}

class SharedFolder {
public:
    // Throws FolderError.
    explicit SharedFolder(const std::filesystem::path& folder);

    const std::string& cid() const { return cid_; }
    const std::filesystem::path& root() const { return root_; }
    // The served folder's own name, "/" for the file system root.
    std::string rootName() const;

    std::string rootId() const { return cid_ + "!root"; }
    std::string idFor(std::string_view relative) const;

    // The item an id names, or nothing when the id is malformed, belongs to
    // another cid, leaves the served folder or names neither a regular file
    // nor a folder.
    std::optional<Node> resolve(std::string_view id) const;
    std::optional<Node> resolveRelative(std::string_view relative) const;

    // The entries of a resolved folder, folders first, then by name (byte
    // order). Symbolic links that lead outside and anything neither a regular
    // file nor a folder (FIFOs, sockets, devices) are left out; nothing listed
    // is opened but folders. Throws std::system_error when the folder cannot
    // be read.
    std::vector<Entry> list(const Node& folder) const;

    // Opens a resolved regular file for reading without ever blocking on what
    // lies at its path now. Returns the descriptor, or -1 with errno set
    // (ENOENT when it is no longer a regular file inside, EACCES when private).
    int openFile(const Node& file) const;

private:
    // Fills `entry` (all but its name) when the named item of an open folder
    // is to be listed.
    bool examine(int folderFd, const std::filesystem::path& folderReal, const char* name, Entry& entry) const;
    std::uintmax_t countEntries(const std::filesystem::path& real) const;
    // Opens a canonical folder path, checking once more that it lies inside.
    DIR* openFolder(const std::filesystem::path& real) const;
    bool inside(const std::filesystem::path& real) const;
    bool sharedAlong(const std::filesystem::path& real) const;
    bool openedInside(int fd) const;

    std::filesystem::path root_;
    std::string cid_;
};

} // namespace zandorel::standin
