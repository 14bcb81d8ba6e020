#pragma once
// The pages of the service: a shared folder's page (its listing as one-line
// script data, then a plain table for people), error pages and the two icons.
// Every address comes from the service's own public URL.

#include "sharefs.h"

#include <string>
#include <string_view>
#include <vector>

namespace zandorel::standin {

// The page of a shared folder, `entries` being its listing. `base` starts
// every published address ("http://127.0.0.1:8765"); `linkPrefix` starts the
// page's own links, the public URL's path without its final '/' ("" or
// "/share").
std::string folderPage(const SharedFolder& share, const Node& folder, const std::vector<Entry>& entries,
                       std::string_view base, std::string_view linkPrefix = {});

// A small HTML page: "404 Not Found" and a sentence.
std::string errorPage(int status, std::string_view message);
std::string_view statusText(int status);

// Thumbnails are the image itself only for images a browser shows as such.
bool isThumbnailImage(std::string_view mimeType);

inline constexpr std::string_view kFileIcon =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"96\" height=\"96\" viewBox=\"0 0 24 24\">"
    "<path fill=\"#e8eaed\" stroke=\"#5f6368\" d=\"M6 2h8l5 5v15H6z\"/>"
    "<path fill=\"none\" stroke=\"#5f6368\" d=\"M14 2v5h5\"/></svg>\n";
inline constexpr std::string_view kFolderIcon =
    "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"96\" height=\"96\" viewBox=\"0 0 24 24\">"
    "<path fill=\"#f6c344\" stroke=\"#b8860b\" d=\"M2 5h7l2 2h11v13H2z\"/></svg>\n";

} // namespace zandorel::standin
