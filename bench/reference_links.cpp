// The yardstick for the listing tool's speed: reads a saved folder page,
// cuts out the `var primedResponse=...};` statement, parses it with
// simdjson's on-demand reader and prints one link per file of its
// "children" list: the links zandorel-cli prints for the template
//   <a href="%t(urls.download)">%t(name)%t(extension)</a> %t(size)
// with the default join format (CR LF after each link), for pages whose
// strings hold no escapes.
//
//   reference_links PAGE

#include <cstdio>
#include <simdjson.h>
#include <string>
#include <string_view>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: reference_links PAGE\n", stderr);
        return 64;
    }
    simdjson::padded_string page;
    if (simdjson::padded_string::load(argv[1]).get(page)) {
        std::fputs("reference_links: cannot read the page\n", stderr);
        return 1;
    }
    const std::string_view text(page.data(), page.size());
    const std::string_view statement = "var primedResponse=";
    const size_t at = text.find(statement);
    const size_t end = at == std::string_view::npos ? at : text.find("};", at);
    if (end == std::string_view::npos) {
        std::fputs("reference_links: no script data\n", stderr);
        return 2;
    }
    const size_t from = at + statement.size();
    // The page's own bytes after the statement serve as the reader's padding.
    const simdjson::padded_string_view json(page.data() + from, end + 1 - from,
                                            page.size() - from + simdjson::SIMDJSON_PADDING);
    simdjson::ondemand::parser parser;
    simdjson::ondemand::document doc;
    simdjson::ondemand::array children;
    if (parser.iterate(json).get(doc) || doc["children"].get_array().get(children)) {
        std::fputs("reference_links: no children list\n", stderr);
        return 2;
    }
    std::string out;
    out.reserve(1 << 21);
    for (auto child : children) {
        simdjson::ondemand::object entry;
        if (child.get_object().get(entry)) {
            return 2;
        }
        std::string_view name, extension, download;
        int64_t size = 0;
        for (auto field : entry) {
            std::string_view key;
            if (field.unescaped_key().get(key)) {
                return 2;
            }
            // A field of another type is left as it is, as the listing tool leaves it.
            simdjson::error_code ignored = simdjson::SUCCESS;
            if (key == "name") {
                ignored = field.value().get_string().get(name);
            } else if (key == "extension") {
                ignored = field.value().get_string().get(extension);
            } else if (key == "size") {
                ignored = field.value().get_int64().get(size);
            } else if (key == "urls") {
                ignored = field.value()["download"].get_string().get(download);
            }
            (void)ignored;
        }
        out += "<a href=\"";
        out += download;
        out += "\">";
        out += name;
        out += extension;
        out += "</a> ";
        out += std::to_string(size);
        out += "\r\n";
        if (out.size() > (1 << 20)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
