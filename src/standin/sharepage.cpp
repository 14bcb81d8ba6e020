#include "sharepage.h"

#include "sharetext.h"

namespace zandorel::standin {
namespace {

std::string itemCount(std::uintmax_t count) {
    return std::to_string(count) + (count == 1 ? " item" : " items");
}

// One "url" value: base, path and id, all in one JSON string.
void appendUrl(std::string& out, std::string_view base, std::string_view path, std::string_view id) {
    out += '"';
    appendJsonText(out, base);
    out += path;
    out += id; // cid, '!' and hex digits only
    out += '"';
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

void appendRow(std::string& out, const Entry& entry, std::string_view cid, std::string_view id,
               std::string_view linkPrefix) {
    out += "<tr><td>";
    if (!entry.shared) {
        appendHtml(out, entry.name);
        out += entry.folder ? "/" : "";
    } else if (entry.folder) {
        out += "<a href=\"";
        appendHtml(out, linkPrefix);
        out += "/?cid=";
        out += cid;
        out += "&amp;id=";
        out += id;
        out += "\">";
        appendHtml(out, entry.name);
        out += "/</a>";
    } else {
        out += "<a href=\"";
        appendHtml(out, linkPrefix);
        out += "/view?id=";
        out += id;
        out += "\">";
        appendHtml(out, entry.name);
        out += "</a> (<a href=\"";
        appendHtml(out, linkPrefix);
        out += "/download?id=";
        out += id;
        out += "\">download</a>)";
    }
    out += "</td><td>";
    out += entry.folder ? itemCount(entry.size) : displaySize(entry.size);
    out += "</td><td>";
    appendIsoUtc(out, entry.modified);
    out += entry.shared ? "</td><td>Public</td></tr>\n" : "</td><td>Private</td></tr>\n";
}

} // namespace

bool isThumbnailImage(std::string_view mimeType) {
    return mimeType.starts_with("image/") && mimeType != "image/svg+xml";
}

std::string_view statusText(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 302:
        return "Found";
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
    case 416:
        return "Range Not Satisfiable";
    case 421:
        return "Misdirected Request";
    case 431:
        return "Request Header Fields Too Large";
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

std::string folderPage(const SharedFolder& share, const Node& folder, const std::vector<Entry>& entries,
                       std::string_view base, std::string_view linkPrefix) {
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
        estimate += 600 + 6 * base.size() + 3 * linkPrefix.size() +
                    6 * (idPrefix.size() + 2 * entry.name.size()) + 4 * entry.name.size();
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
        page += "<p><a href=\"";
        appendHtml(page, linkPrefix);
        page += "/?cid=";
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
        appendRow(page, entry, cid, id, linkPrefix);
    }
    page += "</tbody>\n</table>\n</body>\n</html>\n";
    return page;
}

} // namespace zandorel::standin
