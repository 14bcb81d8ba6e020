#pragma once
// HTTP text retrieval: one GET, waited for while the event loop keeps
// serving the windows.

#include <QString>
#include <chrono>

namespace zandorel {

struct HttpOptions {
    std::chrono::milliseconds timeout{30000};  // whole request, body included
    qint64 maxBodyBytes = 256LL * 1024 * 1024; // a larger answer counts as no answer
};

// The body of a GET on `url`, decoded by its declared charset (else UTF-8),
// whatever the status. Empty text when nothing arrived: unreachable host,
// time limit, oversized body. Raises std::invalid_argument for an address
// that is not an http or https address.
QString GetTextFromURL(const QString& url, const HttpOptions& options = {});

} // namespace zandorel
