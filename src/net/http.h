#pragma once
// HTTP text retrieval: one GET, waited for while the event loop keeps
// serving the windows, and stopped at once when its cancel token is used.

#include <QString>
#include <chrono>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QEventLoop;

namespace zandorel {

// Raised by a fetch that its cancel token stopped. It is not a failure of the
// fetch, and callers that tell failures to the user let it pass quietly.
class FetchCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "fetch cancelled"; }
};

// Stops the fetches that carry it: those waiting now end at once, and those
// started with it later end before they send anything. Used on the thread
// that runs the fetches.
class CancelToken {
public:
    void Cancel();
    bool Cancelled() const { return cancelled_; }

    // Runs `stop` when the token is cancelled, until the returned
    // subscription is destroyed.
    class Subscription {
    public:
        Subscription(CancelToken& token, std::function<void()> stop);
        ~Subscription();
        Subscription(const Subscription&) = delete;
        Subscription& operator=(const Subscription&) = delete;

    private:
        CancelToken& token_;
        int id_;
    };

private:
    bool cancelled_ = false;
    int nextId_ = 0;
    std::map<int, std::function<void()>> waiting_;
};

// While it lives, a cancel of the token (none: nothing happens) quits the
// loop a network call waits in, and is remembered.
class QuitOnCancel {
public:
    QuitOnCancel(const std::shared_ptr<CancelToken>& token, QEventLoop& loop);
    QuitOnCancel(const QuitOnCancel&) = delete;
    QuitOnCancel& operator=(const QuitOnCancel&) = delete;
    bool Cancelled() const { return cancelled_; }
    // Stops listening; a cancel heard before stays heard.
    void Release() { subscription_.reset(); }

private:
    bool cancelled_ = false;
    std::optional<CancelToken::Subscription> subscription_;
};

struct HttpOptions {
    std::chrono::milliseconds timeout{30000};  // whole request, body included
    qint64 maxBodyBytes = 256LL * 1024 * 1024; // a larger answer counts as no answer
    std::shared_ptr<CancelToken> cancel;       // none: the fetch runs to its end
};

// The body of a GET on `url`, decoded by its declared charset (else UTF-8),
// whatever the status. Empty text when nothing arrived: unreachable host,
// time limit, oversized body. Raises std::invalid_argument for an address
// that is not an http or https address, and FetchCancelled when the cancel
// token of the options stopped it.
QString GetTextFromURL(const QString& url, const HttpOptions& options = {});

} // namespace zandorel
