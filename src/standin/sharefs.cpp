#include "sharefs.h"

#include "sharetext.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace zandorel::standin {
namespace {

// Names of entries a folder can hold. Any other byte goes: the page escapes
// what needs it, shows bytes that are not UTF-8 as U+FFFD, and the id keeps
// the name's exact bytes.
bool acceptableName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('\0') == std::string_view::npos &&
           name.find('/') == std::string_view::npos;
}

bool acceptableRelative(std::string_view relative) {
    if (relative.empty() || relative.size() > PATH_MAX) {
        return false;
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = relative.find('/', start);
        if (!acceptableName(
                relative.substr(start, slash == std::string_view::npos ? slash : slash - start))) {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

} // namespace

SharedFolder::SharedFolder(const fs::path& folder) {
    if (folder.empty()) {
        throw FolderError("no folder given");
    }
    std::error_code ec;
    root_ = fs::canonical(folder, ec);
    if (ec) {
        throw FolderError(folder.string() + ": " + ec.message());
    }
    struct stat st {};
    if (::stat(root_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        throw FolderError(folder.string() + ": not a folder");
    }
    if (::access(root_.c_str(), R_OK | X_OK) != 0) {
        throw FolderError(folder.string() + ": cannot be read");
    }
    // Derived from the folder's name, not its location, so a copy of the
    // folder served elsewhere keeps its addresses.
    cid_ = fnv1aHex(rootName());
}

std::string SharedFolder::rootName() const {
    const std::string name = root_.filename().string();
    return name.empty() ? std::string("/") : name;
}

std::string SharedFolder::idFor(std::string_view relative) const {
    if (relative.empty()) {
        return rootId();
    }
    std::string id;
    id.reserve(cid_.size() + 1 + relative.size() * 2);
    id += cid_;
    id += '!';
    appendHex(id, relative);
    return id;
}

bool SharedFolder::inside(const fs::path& real) const {
    const std::string& r = root_.native();
    const std::string& s = real.native();
    if (s == r) {
        return true;
    }
    if (r == "/") {
        return !s.empty() && s.front() == '/';
    }
    return s.size() > r.size() && s.compare(0, r.size(), r) == 0 && s[r.size()] == '/';
}

bool SharedFolder::sharedAlong(const fs::path& real) const {
    const std::string& r = root_.native();
    const std::string& s = real.native();
    if (s == r) {
        return true;
    }
    // `real` is canonical and inside: check every folder below the root on the
    // way to it, and itself.
    std::size_t at = r == "/" ? 1 : r.size() + 1;
    struct stat st {};
    while (true) {
        const std::size_t slash = s.find('/', at);
        const std::string prefix = s.substr(0, slash);
        if (::stat(prefix.c_str(), &st) != 0 || (st.st_mode & S_IROTH) == 0) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
        at = slash + 1;
    }
}

bool SharedFolder::openedInside(int fd) const {
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    std::error_code ec;
    const fs::path opened = fs::read_symlink(link, ec);
    if (ec) {
        // Without /proc the checks made before opening have to do.
        return ec == std::errc::no_such_file_or_directory;
    }
    return inside(opened);
}

std::optional<Node> SharedFolder::resolve(std::string_view id) const {
    if (id.size() <= cid_.size() + 1 || id.compare(0, cid_.size(), cid_) != 0 || id[cid_.size()] != '!') {
        return std::nullopt;
    }
    const std::string_view rest = id.substr(cid_.size() + 1);
    if (rest == "root") {
        return resolveRelative({});
    }
    const std::optional<std::string> relative = hexDecode(rest);
    if (!relative) {
        return std::nullopt;
    }
    return resolveRelative(*relative);
}

std::optional<Node> SharedFolder::resolveRelative(std::string_view relative) const {
    struct stat st {};
    Node node;
    node.real = root_;
    if (!relative.empty()) {
        if (!acceptableRelative(relative)) {
            return std::nullopt;
        }
        // One component at a time: each step is resolved from a canonical
        // folder and must stay inside, so no link on the way can lead out,
        // even one whose later steps would lead back in.
        std::size_t start = 0;
        while (true) {
            const std::size_t slash = relative.find('/', start);
            const std::string part(
                relative.substr(start, slash == std::string_view::npos ? slash : slash - start));
            std::error_code ec;
            fs::path next = fs::canonical(node.real / part, ec);
            if (ec || !inside(next) || ::stat(next.c_str(), &st) != 0) {
                return std::nullopt;
            }
            if ((st.st_mode & S_IROTH) == 0) {
                node.shared = false;
            }
            node.real = std::move(next);
            if (slash == std::string_view::npos) {
                break;
            }
            if (!S_ISDIR(st.st_mode)) {
                return std::nullopt;
            }
            start = slash + 1;
        }
        if (node.shared && !sharedAlong(node.real)) {
            node.shared = false;
        }
    } else if (::stat(root_.c_str(), &st) != 0) {
        return std::nullopt;
    }
    if (S_ISDIR(st.st_mode)) {
        node.folder = true;
    } else if (!S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    node.relative = std::string(relative);
    node.size = static_cast<std::uintmax_t>(st.st_size);
    node.modified = st.st_mtime;
    return node;
}

DIR* SharedFolder::openFolder(const fs::path& real) const {
    // O_DIRECTORY refuses anything else before it is opened, a FIFO swapped in
    // included; O_NONBLOCK is a second guard.
    const int fd = ::open(real.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return nullptr;
    }
    if (!openedInside(fd)) {
        ::close(fd);
        errno = EACCES;
        return nullptr;
    }
    DIR* dir = ::fdopendir(fd);
    if (dir == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return dir;
}

bool SharedFolder::examine(int folderFd, const fs::path& folderReal, const char* name, Entry& entry) const {
    if (!acceptableName(name)) {
        return false;
    }
    struct stat st {};
    if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        std::error_code ec;
        const fs::path target = fs::canonical(folderReal / name, ec);
        if (ec || !inside(target) || ::stat(target.c_str(), &st) != 0) {
            return false;
        }
        entry.shared = sharedAlong(target);
    } else {
        entry.shared = (st.st_mode & S_IROTH) != 0;
    }
    if (S_ISREG(st.st_mode)) {
        entry.folder = false;
        entry.size = static_cast<std::uintmax_t>(st.st_size);
    } else if (S_ISDIR(st.st_mode)) {
        entry.folder = true;
        entry.size = 0;
    } else {
        return false;
    }
    entry.modified = st.st_mtime;
    return true;
}

std::uintmax_t SharedFolder::countEntries(const fs::path& real) const {
    std::unique_ptr<DIR, DirCloser> dir(openFolder(real));
    if (!dir) {
        return 0;
    }
    const int fd = ::dirfd(dir.get());
    std::uintmax_t count = 0;
    Entry entry;
    while (const dirent* d = ::readdir(dir.get())) {
        if (examine(fd, real, d->d_name, entry)) {
            ++count;
        }
    }
    return count;
}

std::vector<Entry> SharedFolder::list(const Node& folder) const {
    std::unique_ptr<DIR, DirCloser> dir(openFolder(folder.real));
    if (!dir) {
        throw std::system_error(errno, std::generic_category(), "cannot read the folder");
    }
    const int fd = ::dirfd(dir.get());
    std::vector<Entry> entries;
    Entry entry;
    while (const dirent* d = ::readdir(dir.get())) {
        if (!examine(fd, folder.real, d->d_name, entry)) {
            continue;
        }
        entry.name = d->d_name;
        if (entry.folder && entry.shared) {
            // Counted as its own page would list them.
            std::error_code ec;
            const fs::path real = fs::canonical(folder.real / d->d_name, ec);
            entry.size = ec ? 0 : countEntries(real);
        }
        entries.push_back(std::move(entry));
        entry = Entry();
    }

    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.folder != b.folder) {
            return a.folder;
        }
        return a.name < b.name;
    });
    return entries;
}

int SharedFolder::openFile(const Node& file) const {
    // Non-blocking so that something swapped in for the file since it was
    // resolved, a FIFO or a device say, cannot hold the open; fstat then
    // refuses anything but a regular file before a byte is read.
    const int fd = ::open(file.real.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    int error = 0;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !openedInside(fd)) {
        error = ENOENT;
    } else if ((st.st_mode & S_IROTH) == 0) {
        error = EACCES;
    }
    if (error != 0) {
        ::close(fd);
        errno = error;
        return -1;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    }
    return fd;
}

} // namespace zandorel::standin
