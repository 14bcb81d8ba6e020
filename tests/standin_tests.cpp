// zandorel-share: pages, files and refusals, checked over real HTTP against a
// server started in-process on a free port, plus the program's own command
// line. The page checks read the data statement the way Zandorel's reader
// does (plain cutting by position and nesting) and also as strict JSON.

#include "sharetext.h"
#include "standin.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <optional>
#include <random>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using namespace zandorel::standin;

namespace {

// ---------------------------------------------------------------------------
// Files

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "zandorel-standin-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// Modes are set explicitly: whatever the umask, "others may read" decides
// what is shared.
void writeFile(const fs::path& path, std::string_view bytes, mode_t mode = 0644) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    ASSERT_TRUE(out) << path;
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

void makeDir(const fs::path& path, mode_t mode = 0755) {
    fs::create_directories(path);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0) << path;
}

void makeLink(const fs::path& target, const fs::path& at) {
    fs::create_symlink(target, at);
}

// ---------------------------------------------------------------------------
// HTTP, written and read byte for byte so that nothing gets normalised on the
// way.

struct Reply {
    int status = 0;
    std::multimap<std::string, std::string> headers; // names in lower case
    std::string body;

    std::string header(const std::string& name) const {
        const auto found = headers.find(name);
        return found == headers.end() ? std::string() : found->second;
    }
};

std::string lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; });
    return out;
}

Reply roundTrip(int port, const std::string& request, bool head = false) {
    Reply reply;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        ADD_FAILURE() << "socket: " << std::strerror(errno);
        return reply;
    }
    timeval timeout{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ADD_FAILURE() << "connect: " << std::strerror(errno);
        ::close(fd);
        return reply;
    }
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
    // Read to the end of the response, or of the connection when its length
    // is not given.
    std::string raw;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            break;
        }
        raw.append(buffer, static_cast<std::size_t>(n));
        const std::size_t headEnd = raw.find("\r\n\r\n");
        if (headEnd == std::string::npos) {
            continue;
        }
        if (head) {
            break;
        }
        const std::string folded = lower(raw.substr(0, headEnd));
        const std::size_t length = folded.find("\r\ncontent-length:");
        if (length != std::string::npos &&
            raw.size() >= headEnd + 4 + std::stoul(folded.substr(length + 17))) {
            break;
        }
    }
    ::close(fd);

    const std::size_t end = raw.find("\r\n\r\n");
    if (raw.size() < 12 || end == std::string::npos) {
        ADD_FAILURE() << "no complete response to: " << request.substr(0, 200);
        return reply;
    }
    reply.status = std::atoi(raw.c_str() + 9);
    std::size_t line = raw.find("\r\n") + 2;
    while (line < end) {
        const std::size_t next = raw.find("\r\n", line);
        const std::size_t colon = raw.find(':', line);
        if (colon != std::string::npos && colon < next) {
            std::string value = raw.substr(colon + 1, next - colon - 1);
            value.erase(0, value.find_first_not_of(' '));
            reply.headers.emplace(lower(raw.substr(line, colon - line)), value);
        }
        line = next + 2;
    }
    reply.body = raw.substr(end + 4);
    if (reply.headers.count("content-length") == 1 && !head) {
        const std::size_t length = std::stoul(reply.header("content-length"));
        EXPECT_GE(reply.body.size(), length);
        reply.body.resize(std::min(length, reply.body.size()));
    }
    return reply;
}

Reply get(int port, const std::string& target, const std::string& method = "GET",
          const std::string& extraHeaders = {}) {
    return roundTrip(port,
                     method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                         "\r\nConnection: close\r\n" + extraHeaders + "\r\n",
                     method == "HEAD");
}

// The path and query of an absolute address published by the server.
std::string targetOf(const std::string& address) {
    const std::size_t slash = address.find('/', address.find("//") + 2);
    return slash == std::string::npos ? std::string("/") : address.substr(slash);
}

std::string hex(std::string_view bytes) {
    std::string out;
    for (const char c : bytes) {
        static constexpr char digits[] = "0123456789abcdef";
        out += digits[static_cast<unsigned char>(c) >> 4];
        out += digits[static_cast<unsigned char>(c) & 0xf];
    }
    return out;
}

bool validUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        std::uint32_t value = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xe0) == 0xc0) {
            length = 2;
            value = c & 0x1f;
        } else if ((c & 0xf0) == 0xe0) {
            length = 3;
            value = c & 0x0f;
        } else if ((c & 0xf8) == 0xf0) {
            length = 4;
            value = c & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto b = static_cast<unsigned char>(text[i + k]);
            if ((b & 0xc0) != 0x80) {
                return false;
            }
            value = (value << 6) | (b & 0x3f);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < least[length] || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) {
            return false;
        }
        i += length;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Strict, compact JSON: no white space at all outside strings.

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object };
    Kind kind = Kind::Null;
    std::string text; // decoded string, or the number as written
    std::vector<Json> items;
    std::vector<std::pair<std::string, Json>> members;

    const Json& operator[](std::string_view key) const {
        for (const auto& [name, value] : members) {
            if (name == key) {
                return value;
            }
        }
        static const Json missing;
        ADD_FAILURE() << "no member " << key;
        return missing;
    }
    bool has(std::string_view key) const {
        return std::any_of(members.begin(), members.end(), [&](const auto& m) { return m.first == key; });
    }
    std::vector<std::string> keys() const {
        std::vector<std::string> out;
        for (const auto& m : members) {
            out.push_back(m.first);
        }
        return out;
    }
};

class JsonParser {
public:
    explicit JsonParser(std::string_view text) : t_(text) {}

    std::optional<Json> document() {
        std::optional<Json> v = value(0);
        if (!v || at_ != t_.size()) {
            return std::nullopt;
        }
        return v;
    }

private:
    std::optional<Json> value(int depth) {
        if (at_ >= t_.size() || depth > 64) {
            return std::nullopt;
        }
        const char c = t_[at_];
        if (c == '{') {
            return object(depth);
        }
        if (c == '[') {
            return array(depth);
        }
        if (c == '"') {
            Json j;
            j.kind = Json::Kind::String;
            if (!string(j.text)) {
                return std::nullopt;
            }
            return j;
        }
        for (const std::string_view word : {"true", "false", "null"}) {
            if (t_.substr(at_, word.size()) == word) {
                at_ += word.size();
                Json j;
                j.kind = word == "null" ? Json::Kind::Null : Json::Kind::Bool;
                j.text = std::string(word);
                return j;
            }
        }
        const std::size_t start = at_;
        if (at_ < t_.size() && t_[at_] == '-') {
            ++at_;
        }
        const std::size_t digits = at_;
        while (at_ < t_.size() && (std::isdigit(static_cast<unsigned char>(t_[at_])) || t_[at_] == '.' ||
                                   t_[at_] == 'e' || t_[at_] == 'E' || t_[at_] == '+' || t_[at_] == '-')) {
            ++at_;
        }
        if (at_ == digits) {
            return std::nullopt;
        }
        Json j;
        j.kind = Json::Kind::Number;
        j.text = std::string(t_.substr(start, at_ - start));
        return j;
    }

    std::optional<Json> object(int depth) {
        Json j;
        j.kind = Json::Kind::Object;
        ++at_;
        if (at_ < t_.size() && t_[at_] == '}') {
            ++at_;
            return j;
        }
        while (true) {
            std::string key;
            if (at_ >= t_.size() || t_[at_] != '"' || !string(key) || at_ >= t_.size() || t_[at_] != ':') {
                return std::nullopt;
            }
            ++at_;
            std::optional<Json> v = value(depth + 1);
            if (!v) {
                return std::nullopt;
            }
            j.members.emplace_back(std::move(key), std::move(*v));
            if (at_ < t_.size() && t_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < t_.size() && t_[at_] == '}') {
                ++at_;
                return j;
            }
            return std::nullopt;
        }
    }

    std::optional<Json> array(int depth) {
        Json j;
        j.kind = Json::Kind::Array;
        ++at_;
        if (at_ < t_.size() && t_[at_] == ']') {
            ++at_;
            return j;
        }
        while (true) {
            std::optional<Json> v = value(depth + 1);
            if (!v) {
                return std::nullopt;
            }
            j.items.push_back(std::move(*v));
            if (at_ < t_.size() && t_[at_] == ',') {
                ++at_;
                continue;
            }
            if (at_ < t_.size() && t_[at_] == ']') {
                ++at_;
                return j;
            }
            return std::nullopt;
        }
    }

    static void appendUtf8(std::string& out, std::uint32_t cp) {
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xc0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xe0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        } else {
            out += static_cast<char>(0xf0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3f));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (cp & 0x3f));
        }
    }

    bool hex4(std::uint32_t& out) {
        if (at_ + 4 > t_.size()) {
            return false;
        }
        out = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = t_[at_++];
            out <<= 4;
            if (c >= '0' && c <= '9') {
                out |= static_cast<std::uint32_t>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                out |= static_cast<std::uint32_t>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                out |= static_cast<std::uint32_t>(c - 'A' + 10);
            } else {
                return false;
            }
        }
        return true;
    }

    bool string(std::string& out) {
        ++at_;
        while (at_ < t_.size()) {
            const char c = t_[at_];
            if (c == '"') {
                ++at_;
                return true;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                return false;
            }
            if (c != '\\') {
                out += c;
                ++at_;
                continue;
            }
            if (++at_ >= t_.size()) {
                return false;
            }
            const char e = t_[at_++];
            switch (e) {
            case '"':
            case '\\':
            case '/':
                out += e;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                std::uint32_t cp = 0;
                if (!hex4(cp)) {
                    return false;
                }
                if (cp >= 0xd800 && cp <= 0xdbff) {
                    std::uint32_t low = 0;
                    if (t_.substr(at_, 2) != "\\u" || (at_ += 2, !hex4(low)) || low < 0xdc00 ||
                        low > 0xdfff) {
                        return false;
                    }
                    cp = 0x10000 + ((cp - 0xd800) << 10) + (low - 0xdc00);
                }
                appendUtf8(out, cp);
                break;
            }
            default:
                return false;
            }
        }
        return false;
    }

    std::string_view t_;
    std::size_t at_ = 0;
};

std::string decodeJsonString(std::string_view rawInside) {
    const std::string quoted = "\"" + std::string(rawInside) + "\"";
    std::optional<Json> j = JsonParser(quoted).document();
    EXPECT_TRUE(j) << rawInside;
    return j ? j->text : std::string();
}

// ---------------------------------------------------------------------------
// The page as Zandorel's reader cuts it.

// First match of `var primedResponse={(.*?)};`, letter case ignored, '.' not
// crossing a line feed.
std::optional<std::string> primedData(std::string_view page) {
    constexpr std::string_view lead = "var primedresponse={";
    const auto find = [&](std::size_t from) {
        for (std::size_t at = from; at + lead.size() <= page.size(); ++at) {
            if (lower(page.substr(at, lead.size())) == lead) {
                return at;
            }
        }
        return std::string_view::npos;
    };
    for (std::size_t at = find(0); at != std::string_view::npos; at = find(at + 1)) {
        const std::size_t start = at + lead.size();
        const std::size_t end = page.find("};", start);
        const std::size_t lineEnd = page.find('\n', start);
        if (end != std::string_view::npos && (lineEnd == std::string_view::npos || end < lineEnd)) {
            return std::string(page.substr(start, end - start));
        }
    }
    return std::nullopt;
}

// The text from `at`, which holds `open`, to its matching `close`, nesting
// counted without regard to quotes.
std::optional<std::string_view> balanced(std::string_view text, std::size_t at, char open, char close) {
    int depth = 0;
    for (std::size_t i = at; i < text.size(); ++i) {
        if (text[i] == open) {
            ++depth;
        } else if (text[i] == close && --depth == 0) {
            return text.substr(at, i - at + 1);
        }
    }
    return std::nullopt;
}

// The entry objects of the "children" list.
std::vector<std::string> cutEntries(std::string_view data) {
    std::vector<std::string> entries;
    const std::size_t children = data.find("\"children\":[");
    if (children == std::string_view::npos) {
        ADD_FAILURE() << "no children list";
        return entries;
    }
    const std::optional<std::string_view> list = balanced(data, children + 11, '[', ']');
    if (!list) {
        ADD_FAILURE() << "children list not closed";
        return entries;
    }
    std::size_t from = 1;
    while (true) {
        const std::size_t open = list->find('{', from);
        if (open == std::string_view::npos) {
            break;
        }
        const std::optional<std::string_view> object = balanced(*list, open, '{', '}');
        if (!object || *object == "{}") {
            break;
        }
        entries.emplace_back(*object);
        from = open + object->size();
    }
    return entries;
}

// The pairs of one compact object by position: a string runs to the next
// quote, an object or list to its matching bracket, anything else to the next
// comma; exactly one comma follows each pair but the last. Values are kept as
// cut, strings without their quotes.
std::optional<std::vector<std::pair<std::string, std::string>>> cutPairs(std::string_view object) {
    std::vector<std::pair<std::string, std::string>> pairs;
    if (object.size() < 2 || object.front() != '{' || object.back() != '}') {
        return std::nullopt;
    }
    const std::size_t last = object.size() - 1;
    std::size_t at = 1;
    while (at < last) {
        if (object[at] != '"') {
            return std::nullopt;
        }
        const std::size_t keyEnd = object.find('"', at + 1);
        if (keyEnd == std::string_view::npos || keyEnd + 1 >= last || object[keyEnd + 1] != ':') {
            return std::nullopt;
        }
        std::string key(object.substr(at + 1, keyEnd - at - 1));
        const std::size_t v = keyEnd + 2;
        std::size_t next = 0;
        std::string value;
        if (object[v] == '"') {
            const std::size_t end = object.find('"', v + 1);
            if (end == std::string_view::npos) {
                return std::nullopt;
            }
            value = std::string(object.substr(v + 1, end - v - 1));
            next = end + 1;
        } else if (object[v] == '{' || object[v] == '[') {
            const std::optional<std::string_view> inner =
                balanced(object, v, object[v], object[v] == '{' ? '}' : ']');
            if (!inner) {
                return std::nullopt;
            }
            value = std::string(*inner);
            next = v + inner->size();
        } else {
            const std::size_t comma = object.find(',', v);
            if (comma == std::string_view::npos) {
                return std::nullopt; // a bare value must not come last
            }
            value = std::string(object.substr(v, comma - v));
            next = comma;
        }
        pairs.emplace_back(std::move(key), std::move(value));
        if (next == last) {
            return pairs;
        }
        if (object[next] != ',') {
            return std::nullopt;
        }
        at = next + 1;
    }
    return std::nullopt;
}

std::string cutValue(const std::vector<std::pair<std::string, std::string>>& pairs, std::string_view key) {
    for (const auto& [k, v] : pairs) {
        if (k == key) {
            return v;
        }
    }
    return "<missing>";
}

// Every string of the data is free of what would derail the cutting or end
// the script: the only backslashes start \uXXXX escapes.
void expectSafeStrings(std::string_view data) {
    bool inString = false;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        ASSERT_NE(c, '\n') << "line feed in the data";
        if (c == '"') {
            inString = !inString;
            continue;
        }
        if (!inString) {
            continue;
        }
        ASSERT_EQ(std::string_view("{}[];<>&").find(static_cast<char>(c)), std::string_view::npos)
            << "raw '" << static_cast<char>(c) << "' in a string at " << i << ": " << data.substr(i - 20, 40);
        ASSERT_GE(c, 0x20) << "control character in a string at " << i;
        if (c == '\\') {
            ASSERT_EQ(data.substr(i + 1, 1), "u") << data.substr(i, 8);
            for (std::size_t k = i + 2; k < i + 6; ++k) {
                ASSERT_TRUE(std::isxdigit(static_cast<unsigned char>(data[k]))) << data.substr(i, 8);
            }
        }
    }
    ASSERT_FALSE(inString);
}

// A page read both ways.
struct Page {
    Reply reply;
    std::string data;             // the cut statement text
    std::vector<std::string> cut; // entry objects, cut
    std::optional<Json> json;     // the statement as strict JSON

    const Json* entry(std::string_view fullName) const {
        for (const Json& e : json->operator[]("children").items) {
            if (e["name"].text + e["extension"].text == fullName) {
                return &e;
            }
        }
        return nullptr;
    }
};

Page fetchPage(int port, const std::string& target, const std::string& extraHeaders = {}) {
    Page page;
    page.reply = get(port, target, "GET", extraHeaders);
    EXPECT_EQ(page.reply.status, 200) << target;
    std::optional<std::string> data = primedData(page.reply.body);
    EXPECT_TRUE(data) << "no data statement in " << target;
    if (!data) {
        return page;
    }
    page.data = *data;
    page.cut = cutEntries(page.data);
    page.json = JsonParser("{" + page.data + "}").document();
    EXPECT_TRUE(page.json) << "not compact JSON: " << page.data.substr(0, 300);
    return page;
}

// ---------------------------------------------------------------------------
// Servers

class Running {
public:
    explicit Running(ServerOptions options) : server_(withFreePort(std::move(options))) {
        if (!server_.bind()) {
            throw std::runtime_error("cannot bind");
        }
        thread_ = std::thread([this] { server_.run(); });
    }
    ~Running() {
        server_.stop();
        thread_.join();
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

    int port() const { return server_.port(); }
    const ShareServer& server() const { return server_; }
    const std::string& cid() const { return server_.folder().cid(); }
    std::string rootTarget() const { return targetOf(server_.rootAddress()); }

private:
    static ServerOptions withFreePort(ServerOptions options) {
        options.bindAddress = "127.0.0.1";
        options.port = 0;
        return options;
    }
    ShareServer server_;
    std::thread thread_;
};

constexpr std::string_view kReadme = "A shared folder for tests.\n";
constexpr std::string_view kMinutes = "会议纪要：下周一上午十点开会。\n";
constexpr std::string_view kSecret = "TOP SECRET outside the share\n";
const std::string kDangerous = "a\"b{c}[d];<e>.txt";
const std::string kImitation = "var primedResponse={\"children\":[{}]};.txt";
const std::string kBreaks = "line\nbreak\xe2\x80\xa8sep\xc2\x85.txt";

// One served folder for all the tests of the suite:
//   share/         the served folder        outside/   next to it
std::string bigFile() {
    std::string bytes(3 * 1024 * 1024 + 123, '\0');
    std::mt19937 random(42);
    for (char& c : bytes) {
        c = static_cast<char>(random() & 0xff);
    }
    return bytes;
}

class StandinServer : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        const fs::path share = dir_->path() / "share";
        const fs::path outside = dir_->path() / "outside";
        makeDir(share);
        makeDir(outside);
        writeFile(outside / "secret.txt", kSecret);
        makeLink("../share/readme.txt", outside / "back-in.txt");

        writeFile(share / "readme.txt", kReadme);
        writeFile(share / "会议纪要.txt", kMinutes);
        writeFile(share / kDangerous, "dangerous name\n");
        writeFile(share / kImitation, "imitation\n");
        writeFile(share / kBreaks, "breaks\n");
        writeFile(share / ".hidden", "dot file\n");
        writeFile(share / "archive.tar.gz", "not really gzip");
        writeFile(share / "noext", "");
        writeFile(share / "big.bin", bigFile());
        writeFile(share / "private-notes.txt", "private\n", 0640);
        writeFile(share / "bad\xff.txt", "not UTF-8\n");
        makeDir(share / "图片");
        writeFile(share / "图片" / "photo.png", "\x89PNG\r\n\x1a\nnot a real image");
        writeFile(share / "图片" / "说明.txt", "图片说明\n");
        makeLink("../../outside", share / "图片" / "up");
        makeDir(share / "private-dir", 0750);
        writeFile(share / "private-dir" / "inner.txt", "inside a private folder\n");
        makeLink("readme.txt", share / "inside-link.txt");
        makeLink("图片", share / "inside-dir-link");
        makeLink("../outside/secret.txt", share / "outside-file-link.txt");
        makeLink(dir_->path() / "outside", share / "outside-dir-link");

        ServerOptions options;
        options.folder = share;
        server_ = std::make_unique<Running>(options);
        root_ = std::make_unique<Page>(fetchPage(server_->port(), server_->rootTarget()));
    }
    static void TearDownTestSuite() {
        root_.reset();
        server_.reset();
        dir_.reset();
    }

    static int port() { return server_->port(); }
    static const std::string& cid() { return server_->cid(); }
    static fs::path share() { return dir_->path() / "share"; }
    static std::string idOf(std::string_view relative) { return cid() + "!" + hex(relative); }
    static const Page& root() { return *root_; }

    static std::unique_ptr<TempDir> dir_;
    static std::unique_ptr<Running> server_;
    static std::unique_ptr<Page> root_;
};

std::unique_ptr<TempDir> StandinServer::dir_;
std::unique_ptr<Running> StandinServer::server_;
std::unique_ptr<Page> StandinServer::root_;

// ---------------------------------------------------------------------------
// Folder pages

TEST_F(StandinServer, RootPageHoldsTheDataStatementOnOneLine) {
    const Reply& reply = root().reply;
    EXPECT_EQ(reply.header("content-type"), "text/html; charset=utf-8");
    EXPECT_NE(reply.body.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(reply.body.find("<title>share"), std::string::npos);
    EXPECT_TRUE(validUtf8(reply.body));

    // The statement is one whole line of its own, and the first thing that
    // matches, though a file name imitates it.
    const std::size_t at = reply.body.find("\nvar primedResponse={");
    ASSERT_NE(at, std::string::npos);
    const std::size_t lineEnd = reply.body.find('\n', at + 1);
    EXPECT_EQ(reply.body.substr(at + 1, lineEnd - at - 1), "var primedResponse={" + root().data + "};");
    EXPECT_LT(at, reply.body.find("<title>"));

    ASSERT_TRUE(root().json);
    const Json& top = *root().json;
    EXPECT_EQ(top.keys(), (std::vector<std::string>{"id", "name", "cid", "itemType", "children", "totalCount",
                                                    "parentId"}));
    EXPECT_EQ(top["id"].text, cid() + "!root");
    EXPECT_EQ(top["name"].text, "share");
    EXPECT_EQ(top["cid"].text, cid());
    EXPECT_EQ(top["itemType"].text, "folder");
    EXPECT_EQ(top["parentId"].text, "");
    EXPECT_EQ(top["totalCount"].text, std::to_string(top["children"].items.size()));
    expectSafeStrings(root().data);
}

TEST_F(StandinServer, CuttingByPositionGivesOneObjectPerEntry) {
    ASSERT_TRUE(root().json);
    const std::vector<Json>& children = (*root().json)["children"].items;
    ASSERT_EQ(root().cut.size(), children.size());
    for (std::size_t i = 0; i < children.size(); ++i) {
        SCOPED_TRACE(root().cut[i].substr(0, 120));
        const auto pairs = cutPairs(root().cut[i]);
        ASSERT_TRUE(pairs) << "entry does not cut into pairs";
        // What the cutting finds is what the JSON says, escapes decoded.
        EXPECT_EQ(decodeJsonString(cutValue(*pairs, "name")), children[i]["name"].text);
        EXPECT_EQ(decodeJsonString(cutValue(*pairs, "extension")), children[i]["extension"].text);
        EXPECT_EQ(cutValue(*pairs, "size"), children[i]["size"].text);
        EXPECT_EQ(cutValue(*pairs, "sharingLevelValue"), children[i]["sharingLevelValue"].text);
        // The nested values cut into pairs too.
        const auto urls = cutPairs(cutValue(*pairs, "urls"));
        ASSERT_TRUE(urls);
        EXPECT_EQ(cutValue(*urls, "download"), children[i]["urls"]["download"].text);
        const std::vector<std::string> thumbnails =
            cutEntries("\"children\":" + cutValue(*pairs, "thumbnails"));
        ASSERT_EQ(thumbnails.size(), 2u);
        EXPECT_EQ(cutValue(*cutPairs(thumbnails[1]), "width"), "176");
    }
}

TEST_F(StandinServer, EntriesPublishTheirProperties) {
    struct Expected {
        std::string fullName;
        std::string name;
        std::string extension;
        std::string itemType;
        std::string mimeType;
        std::string sharing;
    };
    const std::vector<Expected> table{
        {"inside-dir-link", "inside-dir-link", "", "folder", "folder", "0"},
        {"private-dir", "private-dir", "", "folder", "folder", "2"},
        {"图片", "图片", "", "folder", "folder", "0"},
        {".hidden", ".hidden", "", "file", "application/octet-stream", "0"},
        {"archive.tar.gz", "archive.tar", ".gz", "file", "application/gzip", "0"},
        {"big.bin", "big", ".bin", "file", "application/octet-stream", "0"},
        {"inside-link.txt", "inside-link", ".txt", "file", "text/plain", "0"},
        {"noext", "noext", "", "file", "application/octet-stream", "0"},
        {"private-notes.txt", "private-notes", ".txt", "file", "text/plain", "2"},
        {"readme.txt", "readme", ".txt", "file", "text/plain", "0"},
        {kDangerous, "a\"b{c}[d];<e>", ".txt", "file", "text/plain", "0"},
        {kBreaks, "line\nbreak\xe2\x80\xa8sep\xc2\x85", ".txt", "file", "text/plain", "0"},
        {kImitation, "var primedResponse={\"children\":[{}]};", ".txt", "file", "text/plain", "0"},
        {"会议纪要.txt", "会议纪要", ".txt", "file", "text/plain", "0"},
    };
    ASSERT_TRUE(root().json);
    const std::vector<Json>& children = (*root().json)["children"].items;

    // Exactly these, folders first, each group in byte order of the names;
    // links leading outside and names that are not UTF-8 are left out.
    std::vector<std::string> listed;
    for (const Json& e : children) {
        listed.push_back(e["name"].text + e["extension"].text);
    }
    std::vector<std::string> expected;
    for (const Expected& row : table) {
        expected.push_back(row.fullName);
    }
    std::sort(expected.begin() + 3, expected.end());
    EXPECT_EQ(listed, expected);

    for (const Expected& row : table) {
        SCOPED_TRACE(row.fullName);
        const Json* e = root().entry(row.fullName);
        ASSERT_NE(e, nullptr);
        EXPECT_EQ((*e)["name"].text, row.name);
        EXPECT_EQ((*e)["extension"].text, row.extension);
        EXPECT_EQ((*e)["itemType"].text, row.itemType);
        EXPECT_EQ((*e)["mimeType"].text, row.mimeType);
        EXPECT_EQ((*e)["sharingLevelValue"].text, row.sharing);
        EXPECT_EQ((*e)["sharingLevel"].text, row.sharing == "0" ? "Public" : "Private");
        EXPECT_EQ((*e)["parentId"].text, cid() + "!root");
        // The first keys in the order the reader expects, the last a string.
        const std::vector<std::string> keys = e->keys();
        ASSERT_GE(keys.size(), 13u);
        EXPECT_EQ(std::vector<std::string>(keys.begin(), keys.begin() + 13),
                  (std::vector<std::string>{"name", "extension", "id", "itemType", "size", "displaySize",
                                            "dateModified", "mimeType", "sharingLevel", "sharingLevelValue",
                                            "urls", "thumbnails", "parentId"}));
        // Ids need no escaping in an address.
        const std::string& id = (*e)["id"].text;
        EXPECT_EQ(id.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz!"), std::string::npos) << id;
        EXPECT_EQ(id, idOf(row.fullName));
        const std::string& date = (*e)["dateModified"].text;
        EXPECT_EQ(date.size(), 20u);
        EXPECT_EQ(date.substr(10, 1) + date.substr(19), "TZ");
        EXPECT_EQ((*e)["thumbnails"].items.size(), 2u);
    }
    const Json* big = root().entry("big.bin");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ((*big)["size"].text, std::to_string(3 * 1024 * 1024 + 123));
    EXPECT_EQ((*big)["displaySize"].text, "3.0 MB");
    EXPECT_EQ((*root().entry("readme.txt"))["displaySize"].text, std::to_string(kReadme.size()) + " bytes");
    EXPECT_EQ((*root().entry("图片"))["size"].text, "2"); // photo.png, 说明.txt; not the link "up"
}

TEST_F(StandinServer, ChineseNamesAreWrittenAsUtf8) {
    // Raw in the data, not escaped, so that the reader sees them as they are.
    EXPECT_NE(root().data.find("\"name\":\"会议纪要\",\"extension\":\".txt\""), std::string::npos);
    EXPECT_NE(root().data.find("\"name\":\"图片\",\"extension\":\"\""), std::string::npos);
    EXPECT_NE(root().reply.body.find(">会议纪要.txt</a>"), std::string::npos);
}

TEST_F(StandinServer, PublishedAddressesFollowTheHostAskedFor) {
    const std::string own = "http://127.0.0.1:" + std::to_string(port()) + "/";
    const Json* readme = root().entry("readme.txt");
    ASSERT_NE(readme, nullptr);
    EXPECT_EQ((*readme)["urls"]["download"].text, own + "download?id=" + idOf("readme.txt"));
    EXPECT_EQ((*readme)["urls"]["viewInBrowser"].text, own + "view?id=" + idOf("readme.txt"));

    const auto requestWithHost = [&](const std::string& host) {
        return roundTrip(port(), "GET " + server_->rootTarget() + " HTTP/1.1\r\nHost: " + host +
                                     "\r\nConnection: close\r\n\r\n");
    };
    const Reply named = requestWithHost("share.example:9000");
    EXPECT_NE(named.body.find("\"download\":\"http://share.example:9000/download?id="), std::string::npos);
    // A Host that is no plain host name is not echoed.
    const Reply odd = requestWithHost("x\"};alert(1);//");
    EXPECT_EQ(odd.status, 200);
    EXPECT_EQ(odd.body.find("alert"), std::string::npos);
    EXPECT_NE(odd.body.find("\"download\":\"" + own + "download?id="), std::string::npos);
}

TEST_F(StandinServer, SubFolderHasItsOwnPage) {
    for (const std::string& relative : {std::string("图片"), std::string("inside-dir-link")}) {
        SCOPED_TRACE(relative);
        const Json* folder = root().entry(relative);
        ASSERT_NE(folder, nullptr);
        const std::string id = (*folder)["id"].text;
        const Page page = fetchPage(port(), "/?cid=" + cid() + "&id=" + id);
        ASSERT_TRUE(page.json);
        EXPECT_EQ((*page.json)["id"].text, id);
        EXPECT_EQ((*page.json)["name"].text, relative);
        EXPECT_EQ((*page.json)["parentId"].text, cid() + "!root");
        std::vector<std::string> names;
        for (const Json& e : (*page.json)["children"].items) {
            names.push_back(e["name"].text + e["extension"].text);
            EXPECT_EQ(e["parentId"].text, id);
        }
        EXPECT_EQ(names,
                  (std::vector<std::string>{"photo.png", "说明.txt"})); // not "up", which leads outside
        const Json* photo = page.entry("photo.png");
        ASSERT_NE(photo, nullptr);
        EXPECT_EQ((*photo)["mimeType"].text, "image/png");
        const Reply thumbnail = get(port(), targetOf((*photo)["thumbnails"].items[0]["url"].text));
        EXPECT_EQ(thumbnail.status, 200);
        EXPECT_EQ(thumbnail.body, "\x89PNG\r\n\x1a\nnot a real image");

        // A folder's view and download lead to its page.
        for (const char* key : {"viewInBrowser", "download"}) {
            const Reply view = get(port(), targetOf((*folder)["urls"][key].text));
            EXPECT_EQ(view.status, 302);
            EXPECT_EQ(view.header("location"), "/?cid=" + cid() + "&id=" + id);
        }
    }
    // Without a query, "/" leads to the root page.
    EXPECT_EQ(get(port(), "/").header("location"), server_->rootTarget());
}

// ---------------------------------------------------------------------------
// Files

TEST_F(StandinServer, DownloadsAnswerTheFileBytes) {
    struct Case {
        std::string name;
        std::string type;
        std::string disposition;
    };
    const std::vector<Case> table{
        {"会议纪要.txt", "text/plain",
         "attachment; filename=\"____.txt\"; filename*=UTF-8''%E4%BC%9A%E8%AE%AE%E7%BA%AA%E8%A6%81.txt"},
        {kDangerous, "text/plain",
         "attachment; filename=\"a_b{c}[d];<e>.txt\"; filename*=UTF-8''a%22b%7Bc%7D%5Bd%5D%3B%3Ce%3E.txt"},
        {"big.bin", "application/octet-stream", "attachment; filename=\"big.bin\"; filename*=UTF-8''big.bin"},
        {"noext", "application/octet-stream", "attachment; filename=\"noext\"; filename*=UTF-8''noext"},
        {"inside-link.txt", "text/plain",
         "attachment; filename=\"inside-link.txt\"; filename*=UTF-8''inside-link.txt"},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        const Json* e = root().entry(c.name);
        ASSERT_NE(e, nullptr);
        std::ifstream in(share() / c.name, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

        const Reply download = get(port(), targetOf((*e)["urls"]["download"].text));
        EXPECT_EQ(download.status, 200);
        EXPECT_TRUE(download.body == bytes) << "bytes differ; got " << download.body.size();
        EXPECT_EQ(download.header("content-type"), c.type);
        EXPECT_EQ(download.header("content-disposition"), c.disposition);

        const Reply view = get(port(), targetOf((*e)["urls"]["viewInBrowser"].text));
        EXPECT_EQ(view.status, 200);
        EXPECT_TRUE(view.body == bytes);
        EXPECT_TRUE(view.header("content-disposition").starts_with("inline; "));

        const Reply head = get(port(), targetOf((*e)["urls"]["download"].text), "HEAD");
        EXPECT_EQ(head.status, 200);
        EXPECT_EQ(head.header("content-length"), std::to_string(bytes.size()));
        EXPECT_TRUE(head.body.empty());
    }
    const Reply part = get(port(), "/download?id=" + idOf("big.bin"), "GET", "Range: bytes=65530-65545\r\n");
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.body, bigFile().substr(65530, 16));
}

TEST_F(StandinServer, EveryPublishedAddressAnswers) {
    ASSERT_TRUE(root().json);
    for (const Json& e : (*root().json)["children"].items) {
        const bool shared = e["sharingLevelValue"].text == "0";
        std::vector<std::string> addresses{e["urls"]["download"].text, e["urls"]["viewInBrowser"].text};
        for (const Json& t : e["thumbnails"].items) {
            addresses.push_back(t["url"].text);
        }
        for (const std::string& address : addresses) {
            const Reply reply = get(port(), targetOf(address), "HEAD");
            if (!shared && address.find("/icons/") == std::string::npos) {
                EXPECT_EQ(reply.status, 403) << address;
            } else {
                EXPECT_TRUE(reply.status == 200 || reply.status == 302) << address << " " << reply.status;
            }
        }
    }
}

TEST_F(StandinServer, PrivateItemsAreListedButNotServed) {
    const std::vector<std::string> targets{
        "/download?id=" + idOf("private-notes.txt"),
        "/view?id=" + idOf("private-notes.txt"),
        "/thumbnail/96?id=" + idOf("private-notes.txt"),
        // The file itself may be read by others; the folder around it may not.
        "/download?id=" + idOf("private-dir/inner.txt"),
        "/view?id=" + idOf("private-dir/inner.txt"),
        "/?cid=" + cid() + "&id=" + idOf("private-dir"),
    };
    for (const std::string& target : targets) {
        const Reply reply = get(port(), target);
        EXPECT_EQ(reply.status, 403) << target;
        EXPECT_EQ(reply.header("content-type"), "text/html; charset=utf-8") << target;
        EXPECT_EQ(lower(reply.body).find("primedresponse"), std::string::npos) << target;
        EXPECT_EQ(reply.body.find("private"), std::string::npos) << target;
    }
    const Json* notes = root().entry("private-notes.txt");
    ASSERT_NE(notes, nullptr);
    EXPECT_EQ((*notes)["sharingLevelValue"].text, "2");
    EXPECT_EQ((*notes)["sharingLevel"].text, "Private");
}

// ---------------------------------------------------------------------------
// Refusals

void expectUnknown(int port, const std::string& target) {
    const Reply reply = get(port, target);
    EXPECT_EQ(reply.status, 404) << target;
    EXPECT_EQ(reply.header("content-type"), "text/html; charset=utf-8") << target;
    EXPECT_EQ(lower(reply.body).find("primedresponse"), std::string::npos) << target;
    EXPECT_EQ(reply.body.find(kSecret), std::string::npos) << target;
}

TEST_F(StandinServer, UnknownIdsAndPathsAnswer404WithoutData) {
    const std::string c = cid();
    const std::string readme = hex("readme.txt");
    const std::vector<std::string> targets{
        "/?cid=" + c + "&id=" + idOf("no-such-file.txt"),
        "/?cid=0123456789abcdef&id=" + c + "!root",
        "/?cid=0123456789abcdef&id=0123456789abcdef!root",
        "/?cid=" + c + "&id=0123456789abcdef!root",
        "/?cid=" + c,
        "/?id=" + c + "!root",
        "/?cid=" + c + "&id=" + c + "!root&id=" + idOf("图片"),
        "/?cid=" + c + "&cid=0123456789abcdef&id=" + c + "!root",
        "/?cid=" + c + "&id=" + c + "!ROOT",
        "/?cid=" + c + "&id=" + c + "!",
        "/?cid=" + c + "&id=" + c,
        "/?cid=" + c + "&id=" + c + "!" + lower(readme).replace(0, 2, "7G"),
        "/?cid=" + c + "&id=" + c + "!" + readme.substr(1),
        "/download?id=" + c + "!" + hex("Readme.txt"),
        "/download?id=" + c + "!" + readme + "&cid=0123456789abcdef",
        "/download",
        "/view?id=",
        "/thumbnail/96?id=nothing",
        "/thumbnail/100?id=" + c + "!" + readme,
        "/readme.txt",
        "/share/readme.txt",
        "/tools/checkver/index.php?soft=Zandorel&mod=xmlverinfo&ver=newest",
        "/icons/file.svgx",
        "/icons/fileXsvg",
    };
    for (const std::string& target : targets) {
        expectUnknown(port(), target);
    }
}

TEST_F(StandinServer, NothingOutsideTheFolderIsReached) {
    const std::string c = cid();
    const std::string outside = (dir_->path() / "outside" / "secret.txt").string();
    const std::vector<std::string> ids{
        // hex-encoded paths that try to leave
        c + "!" + hex("../outside/secret.txt"),
        c + "!" + hex("图片/../../outside/secret.txt"),
        c + "!" + hex("图片/up/secret.txt"),
        c + "!" + hex("inside-dir-link/../../outside/secret.txt"),
        c + "!" + hex(outside),
        c + "!" + hex("/etc/passwd"),
        c + "!" + hex("/readme.txt"),
        c + "!" + hex("./readme.txt"),
        c + "!" + hex("readme.txt/"),
        c + "!" + hex("图片//photo.png"),
        c + "!" + hex(".."),
        c + "!" + hex("..\\outside\\secret.txt"),
        c + "!" + hex(std::string("readme.txt\0.png", 15)),
        c + "!" + hex("bad\xff.txt"),
        // links leading outside, and a way back in through one
        c + "!" + hex("outside-file-link.txt"),
        c + "!" + hex("outside-dir-link"),
        c + "!" + hex("outside-dir-link/secret.txt"),
        c + "!" + hex("outside-dir-link/back-in.txt"),
        // paths in place of ids, plain and encoded
        c + "!../outside/secret.txt",
        c + "!root/../../outside/secret.txt",
        c + "!..%2f..%2foutside%2fsecret.txt",
        c + "!%2e%2e%2f%2e%2e%2foutside%2fsecret.txt",
        c + "!%252e%252e%252foutside%252fsecret.txt",
        c + "!%2E%2E%5Coutside%5Csecret.txt",
        c + "!" + hex("readme.txt") + "%00",
        c + "!%00",
        outside,
        "%2fetc%2fpasswd",
        "..%2f..%2foutside%2fsecret.txt",
    };
    for (const std::string& id : ids) {
        for (const char* route : {"/download?id=", "/view?id=", "/thumbnail/96?id="}) {
            expectUnknown(port(), route + id);
        }
        expectUnknown(port(), "/?cid=" + c + "&id=" + id);
    }
    for (const char* target :
         {"/../outside/secret.txt", "/%2e%2e/outside/secret.txt", "/download/../../outside/secret.txt",
          "/view%2f..%2f..%2foutside%2fsecret.txt", "/..%5c..%5coutside%5csecret.txt", "//etc/passwd"}) {
        expectUnknown(port(), target);
    }
    // The links that stay inside work.
    EXPECT_EQ(get(port(), "/download?id=" + idOf("inside-link.txt")).body, kReadme);
    EXPECT_EQ(get(port(), "/download?id=" + idOf("inside-dir-link/说明.txt")).body, "图片说明\n");
}

TEST_F(StandinServer, RequestsAreBounded) {
    // A body over the limit is refused from its announced length alone.
    const Reply large =
        get(port(), "/", "GET", "Content-Length: " + std::to_string(kMaxRequestBody + 1) + "\r\n");
    EXPECT_EQ(large.status, 413);
    const Reply chunked = get(port(), "/", "POST", "Transfer-Encoding: chunked\r\n");
    EXPECT_GE(chunked.status, 400);
    EXPECT_LT(chunked.status, 500);
    const Reply streamed = get(port(), server_->rootTarget(), "GET", "Transfer-Encoding: chunked\r\n");
    EXPECT_EQ(streamed.status, 413);
    // A small body is no reason to refuse a GET.
    const Reply small =
        roundTrip(port(), "GET " + server_->rootTarget() +
                              " HTTP/1.1\r\nHost: x\r\nConnection: close\r\nContent-Length: 5\r\n\r\n"
                              "hello");
    EXPECT_EQ(small.status, 200);

    for (const char* method : {"POST", "PUT", "DELETE", "PATCH", "OPTIONS"}) {
        const Reply reply = get(port(), server_->rootTarget(), method, "Content-Length: 0\r\n");
        EXPECT_EQ(reply.status, 405) << method;
        EXPECT_EQ(reply.header("allow"), "GET, HEAD") << method;
        EXPECT_EQ(lower(reply.body).find("primedresponse"), std::string::npos) << method;
    }
    EXPECT_EQ(get(port(), "/?cid=" + std::string(9000, 'a')).status, 414);
    EXPECT_EQ(get(port(), "/download?id=" + idOf("big.bin"), "GET", "Range: bytes=0-0,2-2,4-4\r\n").status,
              416);
}

TEST_F(StandinServer, EndlessRequestLineIsCutOff) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(fd, 0);
    timeval timeout{3, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    // A request line that never ends: the server stops reading and closes
    // long before the 16 MiB are through.
    const std::string chunk = "GET /" + std::string(65536, 'a');
    std::size_t sent = 0;
    while (sent < 16 * 1024 * 1024) {
        const ssize_t n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
    EXPECT_LT(sent, 16u * 1024 * 1024);
    char byte = 0;
    errno = 0;
    const ssize_t got = ::recv(fd, &byte, 1, 0);
    EXPECT_TRUE(got == 0 || (got < 0 && errno == ECONNRESET)) << got << " " << std::strerror(errno);
    ::close(fd);
    // The server goes on serving.
    EXPECT_EQ(get(port(), server_->rootTarget()).status, 200);
}

// ---------------------------------------------------------------------------
// Update check

TEST(StandinVersionInfo, ServedFreshWhenConfiguredOnly) {
    TempDir dir;
    makeDir(dir.path() / "share");
    const fs::path document = dir.path() / "version.xml";
    writeFile(document, "<?xml version=\"1.0\"?><ver>1.0.3</ver>");
    ServerOptions options;
    options.folder = dir.path() / "share";
    options.versionInfo = document;
    Running server(options);
    const std::string target = "/tools/checkver/index.php?soft=Zandorel&mod=xmlverinfo&ver=newest";

    Reply reply = get(server.port(), target);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.header("content-type"), "text/xml; charset=utf-8");
    EXPECT_EQ(reply.body, "<?xml version=\"1.0\"?><ver>1.0.3</ver>");

    writeFile(document, "<?xml version=\"1.0\"?><ver>2.0.0</ver>");
    EXPECT_EQ(get(server.port(), target).body, "<?xml version=\"1.0\"?><ver>2.0.0</ver>");

    fs::remove(document);
    expectUnknown(server.port(), target);
}

// ---------------------------------------------------------------------------
// Size

TEST(StandinScale, LargeFolderPageIsBuiltInLinearTime) {
    TempDir dir;
    makeDir(dir.path() / "many");
    const SharedFolder share(dir.path() / "many");
    const std::optional<Node> root = share.resolve(share.rootId());
    ASSERT_TRUE(root);
    constexpr std::size_t count = 100000;
    std::vector<Entry> entries(count);
    for (std::size_t i = 0; i < count; ++i) {
        entries[i].name = "document-" + std::to_string(1000000 + i) + ".pdf";
        entries[i].size = i * 977;
        entries[i].modified = 1700000000 + static_cast<std::time_t>(i);
    }

    const auto start = std::chrono::steady_clock::now();
    const std::string page = folderPage(share, *root, entries, "http://127.0.0.1:8765");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // Linear work takes a fraction of this even unoptimised; repeated copying
    // or scanning of the growing page would take minutes.
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 3000);
    // Memory in proportion to the page: one reservation close to its size.
    EXPECT_LT(page.capacity(), 2 * page.size());
    const std::optional<std::string> data = primedData(page);
    ASSERT_TRUE(data);
    EXPECT_EQ(cutEntries(*data).size(), count);
}

TEST(StandinScale, FolderOnDiskListsEveryEntry) {
    constexpr int count = 1000;
    TempDir dir;
    const fs::path share = dir.path() / "many";
    makeDir(share);
    for (int i = 0; i < count; ++i) {
        const std::string name = (share / ("file-" + std::to_string(i) + ".txt")).string();
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ::fchmod(fd, 0644);
        ::close(fd);
    }
    ServerOptions options;
    options.folder = share;
    Running server(options);
    const Page page = fetchPage(server.port(), server.rootTarget());
    ASSERT_TRUE(page.json);
    EXPECT_EQ(page.cut.size(), static_cast<std::size_t>(count));
    EXPECT_EQ((*page.json)["totalCount"].text, std::to_string(count));
}

// ---------------------------------------------------------------------------
// Text helpers

TEST(StandinText, ScriptDataEscapes) {
    struct Case {
        std::string input;
        std::string output;
    };
    const std::vector<Case> table{
        {"plain name.txt", "\"plain name.txt\""},
        {"\"\\{}[];<>&", "\"\\u0022\\u005c\\u007b\\u007d\\u005b\\u005d\\u003b\\u003c\\u003e\\u0026\""},
        {"a\nb\tc\rd\x7f", "\"a\\u000ab\\u0009c\\u000dd\\u007f\""},
        {"会议", "\"会议\""},
        {"\xe2\x80\xa8\xe2\x80\xa9\xc2\x85", "\"\\u2028\\u2029\\u0085\""},
        {"bad\xff\xc3", "\"bad\\ufffd\\ufffd\""},
        {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""}, // an encoded surrogate is not UTF-8
        {"'/=!#", "\"'/=!#\""},
    };
    for (const Case& c : table) {
        std::string out;
        appendJsonString(out, c.input);
        EXPECT_EQ(out, c.output) << c.input;
    }
}

TEST(StandinText, NamesSplitIntoNameAndExtension) {
    const std::vector<std::array<std::string, 3>> table{
        {"report.pdf", "report", ".pdf"},
        {"archive.tar.gz", "archive.tar", ".gz"},
        {".bashrc", ".bashrc", ""},
        {"..hidden", "..hidden", ""},
        {"noext", "noext", ""},
        {"trailing.", "trailing.", ""},
        {".config.json", ".config", ".json"},
        {"会议纪要.txt", "会议纪要", ".txt"},
    };
    for (const auto& [name, stem, extension] : table) {
        const NameParts parts = splitExtension(name);
        EXPECT_EQ(parts.stem, stem) << name;
        EXPECT_EQ(parts.extension, extension) << name;
    }
    EXPECT_EQ(mimeTypeFor(".PDF"), "application/pdf");
    EXPECT_EQ(mimeTypeFor(".unknown"), "application/octet-stream");
    EXPECT_EQ(mimeTypeFor(""), "application/octet-stream");
}

TEST(StandinText, DisplaySizes) {
    const std::vector<std::pair<std::uintmax_t, std::string>> table{
        {0, "0 bytes"},
        {1, "1 byte"},
        {532, "532 bytes"},
        {1023, "1023 bytes"},
        {1024, "1.0 KB"},
        {1229, "1.2 KB"},
        {1024 * 1024 - 1, "1.0 MB"},
        {5ULL * 1024 * 1024 * 1024 + 300ULL * 1024 * 1024, "5.3 GB"},
    };
    for (const auto& [bytes, text] : table) {
        EXPECT_EQ(displaySize(bytes), text) << bytes;
    }
}

TEST(StandinText, HexIdsDecodeOnlyAsWritten) {
    EXPECT_EQ(hexDecode(hexEncode("图片/a b")), "图片/a b");
    for (const char* bad : {"", "6", "6G", "6A", "zz", "61 "}) {
        EXPECT_FALSE(hexDecode(bad)) << bad;
    }
}

// ---------------------------------------------------------------------------
// The program

struct Child {
    pid_t pid = -1;
    int out = -1;
    int err = -1;
};

Child spawn(const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe";
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> argv;
    std::vector<std::string> storage{ZANDOREL_SHARE};
    storage.insert(storage.end(), args.begin(), args.end());
    for (std::string& a : storage) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    Child child;
    if (posix_spawn(&child.pid, ZANDOREL_SHARE, &actions, nullptr, argv.data(), environ) != 0) {
        ADD_FAILURE() << "cannot start " << ZANDOREL_SHARE;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    child.out = out[0];
    child.err = err[0];
    return child;
}

std::string readLine(int fd) {
    std::string line;
    char c = 0;
    while (::read(fd, &c, 1) == 1 && c != '\n') {
        line += c;
    }
    return line;
}

int waitExit(Child& child) {
    int status = 0;
    ::waitpid(child.pid, &status, 0);
    ::close(child.out);
    ::close(child.err);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(StandinProgram, PrintsTheRootAddressFirstAndStopsOnSignal) {
    TempDir dir;
    makeDir(dir.path() / "share");
    writeFile(dir.path() / "share" / "readme.txt", kReadme);
    for (const int signal : {SIGTERM, SIGINT}) {
        Child child = spawn({"--port", "0", (dir.path() / "share").string()});
        const std::string address = readLine(child.out);
        ASSERT_TRUE(address.starts_with("http://127.0.0.1:")) << address;
        const std::size_t colon = address.find(':', 7);
        const int port = std::atoi(address.c_str() + colon + 1);
        EXPECT_EQ(targetOf(address).substr(0, 6), "/?cid=");
        const Page page = fetchPage(port, targetOf(address));
        ASSERT_TRUE(page.json);
        EXPECT_EQ((*page.json)["children"].items.size(), 1u);
        ::kill(child.pid, signal);
        EXPECT_EQ(waitExit(child), 0);
    }
}

TEST(StandinProgram, RefusesBadUsageAndMissingFolders) {
    TempDir dir;
    writeFile(dir.path() / "file.txt", "not a folder");
    const std::vector<std::pair<std::vector<std::string>, int>> table{
        {{}, 64},
        {{"--port"}, 64},
        {{"--port", "65536", "."}, 64},
        {{"--port", "-1", "."}, 64},
        {{"--frobnicate", "."}, 64},
        {{".", "."}, 64},
        {{(dir.path() / "missing").string()}, 66},
        {{(dir.path() / "file.txt").string()}, 66},
    };
    for (const auto& [args, code] : table) {
        Child child = spawn(args);
        EXPECT_EQ(readLine(child.out), "");
        EXPECT_EQ(waitExit(child), code) << (args.empty() ? "" : args.front());
    }
}

} // namespace
