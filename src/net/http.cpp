#include "net/http.h"

#include "text/regexpfunctions.h"
#include "text/textcodec.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <memory>
#include <optional>
#include <stdexcept>

namespace zandorel {
namespace {

QString charsetOf(const QString& contentType) {
    QList<MatchRecord> found;
    if (RegMatches(contentType, QStringLiteral("charset\\s*=\\s*[\"']?([\\w\\-:.]+)"), found,
                   QStringLiteral("$1")) > 0) {
        return found[0].Rewrites.value(0);
    }
    return QString();
}

// A manager whose transfer was cut short can keep its connection thread busy
// reading what the server still sends, and ending the manager waits up to
// seconds for that thread. It is ended on a thread kept for that, so the
// fetch ends when its limit says.
void retire(QNetworkAccessManager* manager) {
    static QThread* const ender = [] {
        auto* thread = new QThread();
        thread->setObjectName(QStringLiteral("zandorel-http-ender"));
        thread->start();
        return thread;
    }();
    manager->moveToThread(ender);
    manager->deleteLater();
}

struct Retire {
    void operator()(QNetworkAccessManager* manager) const { retire(manager); }
};

} // namespace

void CancelToken::Cancel() {
    cancelled_ = true;
    // A stopped fetch ends its subscription; the copy keeps the walk valid.
    const auto waiting = waiting_;
    for (const auto& [id, stop] : waiting) {
        if (waiting_.count(id) > 0) {
            stop();
        }
    }
}

CancelToken::Subscription::Subscription(CancelToken& token, std::function<void()> stop)
    : token_(token), id_(token.nextId_++) {
    token_.waiting_.emplace(id_, std::move(stop));
}

CancelToken::Subscription::~Subscription() {
    token_.waiting_.erase(id_);
}

QuitOnCancel::QuitOnCancel(const std::shared_ptr<CancelToken>& token, QEventLoop& loop) {
    if (token) {
        subscription_.emplace(*token, [this, &loop] {
            cancelled_ = true;
            loop.quit();
        });
    }
}

QString GetTextFromURL(const QString& url, const HttpOptions& options) {
    const QUrl address(url, QUrl::StrictMode);
    const QString scheme = address.scheme().toLower();
    if (!address.isValid() || (scheme != u"http" && scheme != u"https") || address.host().isEmpty()) {
        throw std::invalid_argument("not an http address");
    }
    if (options.cancel && options.cancel->Cancelled()) {
        throw FetchCancelled();
    }
    const std::unique_ptr<QNetworkAccessManager, Retire> manager(new QNetworkAccessManager());
    QNetworkRequest request(address);
    request.setRawHeader("If-Modified-Since", "Thu, 01 Jan 1970 00:00:00 GMT");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(options.timeout.count()));

    QPointer<QNetworkReply> reply = manager->get(request);
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    bool oversized = false;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(&limit, &QTimer::timeout, reply, &QNetworkReply::abort);
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [&](qint64 received, qint64) {
        if (received > options.maxBodyBytes) {
            oversized = true;
            reply->abort();
        }
    });
    QuitOnCancel stopping(options.cancel, loop);
    limit.start(options.timeout);
    if (!reply->isFinished()) {
        loop.exec(QEventLoop::AllEvents);
    }
    limit.stop();
    stopping.Release();
    if (stopping.Cancelled()) {
        if (reply) {
            reply->abort();
        }
        throw FetchCancelled();
    }
    if (!reply) {
        return QString();
    }
    if (!reply->isFinished()) {
        // The program is ending and every event loop was told to stop.
        reply->abort();
        return QString();
    }
    // Aborted by the time limit or for its size: nothing usable arrived.
    const auto error = reply->error();
    if (oversized || error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
        return QString();
    }
    const QByteArray body = reply->readAll();
    // The progress count is of the bytes on the wire; a compressed body is
    // measured again once unpacked.
    if (body.isEmpty() || body.size() > options.maxBodyBytes) {
        return QString();
    }
    QString charset = charsetOf(reply->header(QNetworkRequest::ContentTypeHeader).toString());
    if (charset.isEmpty()) {
        // A page may declare its charset in a meta element instead.
        charset = charsetOf(QString::fromLatin1(body.left(4096)));
    }
    return DecodeCharset(body, charset);
}

} // namespace zandorel
