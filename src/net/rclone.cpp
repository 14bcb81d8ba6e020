#include "net/rclone.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>
#include <climits>
#include <csignal>
#include <exception>
#include <optional>
#include <sys/prctl.h>
#include <unistd.h>

namespace zandorel {

// Qt opens at most six connections to one host per manager: calls beyond
// six at once go through further managers.
struct RcloneDaemon::Network {
    static constexpr size_t ConnectionsEach = 6;
    std::vector<std::unique_ptr<QNetworkAccessManager>> managers;
    QNetworkAccessManager& forCall(size_t index, size_t inFlight) {
        const size_t wanted = (inFlight + ConnectionsEach - 1) / ConnectionsEach;
        while (managers.size() < wanted) {
            managers.push_back(std::make_unique<QNetworkAccessManager>());
        }
        return *managers[index % wanted];
    }
};

namespace {

constexpr qsizetype KeptLogLines = 20;
constexpr qsizetype MaxLogLine = qsizetype(64) * 1024;

// Letters and digits from the system's random source.
QByteArray freshSecret() {
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray out(32, '\0');
    QRandomGenerator* random = QRandomGenerator::system();
    for (char& c : out) {
        c = alphabet[random->bounded(static_cast<int>(sizeof(alphabet) - 1))];
    }
    return out;
}

// The program's environment for rclone: the user's own rclone settings
// (RCLONE_CONFIG among them) stay, but nothing that would change how the
// remote control listens, who may call it, or where and how it logs (the
// line that gives the port must reach us).
QProcessEnvironment rcloneEnvironment(const QByteArray& user, const QByteArray& password) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& key : env.keys()) {
        if (key.startsWith(u"RCLONE_RC_") || key == u"RCLONE_LOG_FILE" || key == u"RCLONE_LOG_LEVEL" ||
            key == u"RCLONE_VERBOSE" || key == u"RCLONE_QUIET" || key == u"RCLONE_USE_JSON_LOG" ||
            key == u"RCLONE_SYSLOG") {
            env.remove(key);
        }
    }
    // rclone 1.60's S3 client refuses to start with this variable set to the
    // system's bundle; the system's certificates are used without it.
    env.remove(QStringLiteral("AWS_CA_BUNDLE"));
    env.insert(QStringLiteral("RCLONE_RC_USER"), QString::fromLatin1(user));
    env.insert(QStringLiteral("RCLONE_RC_PASS"), QString::fromLatin1(password));
    return env;
}

RcloneError::Kind kindOf(int status, const QString& error) {
    if (error.contains(u"didn't find section in config file") ||
        error.contains(u"didn't find backend called")) {
        return RcloneError::Kind::UnknownRemote;
    }
    if (status == 404 || error.contains(u"directory not found")) {
        return RcloneError::Kind::NotFound;
    }
    return RcloneError::Kind::CallFailed;
}

} // namespace

RcloneError::RcloneError(Kind kind, const QString& message)
    : std::runtime_error(message.toStdString()), kind_(kind) {}

RcloneDaemon::RcloneDaemon() = default;

RcloneDaemon::~RcloneDaemon() {
    Stop();
}

bool RcloneDaemon::Running() const {
    return process_ && process_->state() == QProcess::Running && !address_.isEmpty();
}

qint64 RcloneDaemon::ProcessId() const {
    return process_ && process_->state() == QProcess::Running ? process_->processId() : 0;
}

void RcloneDaemon::Stop() {
    network_.reset();
    address_.clear();
    authorization_.clear();
    if (!process_) {
        return;
    }
    process_->disconnect();
    if (process_->state() != QProcess::NotRunning) {
        process_->terminate();
        if (!process_->waitForFinished(3000)) {
            process_->kill();
            process_->waitForFinished(3000);
        }
    }
    process_.reset();
}

void RcloneDaemon::readLog() {
    if (!process_) {
        return;
    }
    pending_ += process_->readAllStandardError();
    qsizetype from = 0;
    for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n', from)) {
        const QByteArray line = pending_.mid(from, end - from).trimmed();
        from = end + 1;
        if (line.isEmpty()) {
            continue;
        }
        static constexpr char serving[] = "Serving remote control on ";
        const qsizetype at = line.indexOf(serving);
        if (address_.isEmpty() && at >= 0) {
            const QString address =
                QString::fromUtf8(line.mid(at + qsizetype(sizeof(serving)) - 1)).trimmed();
            const QUrl url(address, QUrl::StrictMode);
            if (url.scheme() == u"http" && url.host() == u"127.0.0.1" && url.port() > 0) {
                address_ = QStringLiteral("http://127.0.0.1:%1/").arg(url.port());
            }
        }
        log_ << QString::fromUtf8(line);
        if (log_.size() > KeptLogLines) {
            log_.removeFirst();
        }
    }
    pending_.remove(0, from);
    if (pending_.size() > MaxLogLine) {
        pending_.clear(); // a line without end is of no use
    }
}

void RcloneDaemon::Start(const HttpOptions& options) {
    if (process_) {
        process_->waitForFinished(0); // notices an rclone that ended meanwhile
    }
    if (Running()) {
        return;
    }
    if (options.cancel && options.cancel->Cancelled()) {
        throw FetchCancelled();
    }
    Stop();
    log_.clear();
    pending_.clear();
    const QString program = QStandardPaths::findExecutable(QStringLiteral("rclone"));
    if (program.isEmpty()) {
        throw RcloneError(
            RcloneError::Kind::Missing,
            QStringLiteral("rclone is not installed (no rclone on the PATH): install the package %1")
                .arg(QLatin1String(RclonePackage)));
    }
    const QByteArray user = freshSecret();
    const QByteArray password = freshSecret();

    process_ = std::make_unique<QProcess>();
    process_->setProgram(program);
    process_->setArguments(
        {QStringLiteral("rcd"), QStringLiteral("--rc-addr"), QStringLiteral("127.0.0.1:0")});
    process_->setProcessEnvironment(rcloneEnvironment(user, password));
    process_->setStandardInputFile(QProcess::nullDevice());
    process_->setStandardOutputFile(QProcess::nullDevice());
    // rclone ends when the thread that started it ends, whatever ends it;
    // a program that ended before the child got here takes it along too.
    const pid_t parent = getpid();
    process_->setChildProcessModifier([parent] {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) {
            _exit(127);
        }
    });
    QObject::connect(process_.get(), &QProcess::readyReadStandardError, process_.get(),
                     [this] { readLog(); });

    QEventLoop loop;
    QObject::connect(process_.get(), &QProcess::readyReadStandardError, &loop, [&] {
        if (!address_.isEmpty()) {
            loop.quit();
        }
    });
    QObject::connect(process_.get(), &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(process_.get(), &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            loop.quit();
        }
    });
    QuitOnCancel stopping(options.cancel, loop);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(options.timeout);
    process_->start();
    if (process_->state() != QProcess::NotRunning) {
        loop.exec(QEventLoop::AllEvents);
    }
    limit.stop();
    stopping.Release();
    readLog();

    if (stopping.Cancelled()) {
        Stop();
        throw FetchCancelled();
    }
    if (address_.isEmpty()) {
        const bool neverRan = process_->error() == QProcess::FailedToStart;
        const QString last = log_.isEmpty() ? QString() : log_.last();
        Stop();
        if (neverRan) {
            throw RcloneError(RcloneError::Kind::Missing,
                              QStringLiteral("rclone could not be started: install the package %1")
                                  .arg(QLatin1String(RclonePackage)));
        }
        throw RcloneError(RcloneError::Kind::StartFailed,
                          last.isEmpty()
                              ? QStringLiteral("rclone did not start its remote control")
                              : QStringLiteral("rclone did not start its remote control: ") + last);
    }
    authorization_ = "Basic " + (user + ':' + password).toBase64();
    network_ = std::make_unique<Network>();
}

void RcloneDaemon::throwExited() const {
    QString message = QStringLiteral("rclone ended during the run");
    if (process_ && process_->state() == QProcess::NotRunning) {
        if (process_->exitStatus() == QProcess::CrashExit) {
            message += QStringLiteral(" (stopped by a signal)");
        } else {
            message += QStringLiteral(" (exit status %1)").arg(process_->exitCode());
        }
    }
    throw RcloneError(RcloneError::Kind::Exited, message);
}

void RcloneDaemon::CallEach(const QString& command, const std::vector<QJsonObject>& inputs, int inFlight,
                            const HttpOptions& options,
                            const std::function<void(size_t, const Answer&)>& done) {
    Start(options);
    if (inputs.empty()) {
        return;
    }
    if (options.cancel && options.cancel->Cancelled()) {
        throw FetchCancelled();
    }
    const QUrl url(address_ + command);
    const int timeout = static_cast<int>(std::min<qint64>(options.timeout.count(), INT_MAX));
    const size_t limit = static_cast<size_t>(std::max(1, inFlight));

    QEventLoop loop;
    std::vector<QPointer<QNetworkReply>> waiting;
    size_t next = 0;
    size_t finished = 0;
    size_t running = 0;
    bool exited = false;
    std::exception_ptr failure;

    std::function<void()> launch;
    auto answer = [&](size_t index, QNetworkReply* reply) {
        --running;
        Answer a;
        a.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QNetworkReply::NetworkError error = reply->error();
        if (a.status == 0) {
            // No HTTP answer at all: rclone ended, or the call ran out of time.
            if (process_->state() == QProcess::Running) {
                process_->waitForFinished(500);
            }
            if (process_->state() != QProcess::Running) {
                exited = true;
                loop.quit();
                return;
            }
            a.error = error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError
                          ? QStringLiteral("no answer from rclone within %1 s").arg(timeout / 1000)
                          : QStringLiteral("no answer from rclone: ") + reply->errorString();
        } else {
            QJsonParseError parse{};
            const QJsonDocument doc = QJsonDocument::fromJson(reply->readAll(), &parse);
            if (doc.isObject()) {
                a.body = doc.object();
            }
            if (a.status != 200) {
                a.error = a.body.value(QStringLiteral("error")).toString();
                if (a.error.isEmpty()) {
                    a.error = QStringLiteral("rclone answered with status %1").arg(a.status);
                }
            } else if (!doc.isObject()) {
                a.error = QStringLiteral("rclone's answer is not JSON: ") + parse.errorString();
            }
        }
        try {
            done(index, a);
        } catch (...) {
            failure = std::current_exception();
            loop.quit();
            return;
        }
        if (++finished == inputs.size()) {
            loop.quit();
        } else {
            launch();
        }
    };
    launch = [&] {
        // Forget the finished ones.
        std::erase_if(waiting, [](const QPointer<QNetworkReply>& r) { return !r || r->isFinished(); });
        while (running < limit && next < inputs.size()) {
            const size_t index = next++;
            QNetworkRequest request(url);
            request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
            request.setRawHeader("Authorization", authorization_);
            request.setTransferTimeout(timeout);
            const QByteArray body = QJsonDocument(inputs[index]).toJson(QJsonDocument::Compact);
            QNetworkReply* reply = network_->forCall(index, limit).post(request, body);
            QObject::connect(reply, &QNetworkReply::finished, &loop, [&answer, index, reply] {
                reply->deleteLater();
                answer(index, reply);
            });
            waiting.emplace_back(reply);
            ++running;
        }
    };

    QObject::connect(process_.get(), &QProcess::finished, &loop, [&] {
        exited = true;
        loop.quit();
    });
    QuitOnCancel stopping(options.cancel, loop);
    launch();
    loop.exec(QEventLoop::AllEvents);
    stopping.Release();
    if (process_) {
        QObject::disconnect(process_.get(), &QProcess::finished, &loop, nullptr);
    }
    // Whatever is still waiting is of no use now.
    for (const auto& r : waiting) {
        if (r && !r->isFinished()) {
            r->disconnect(&loop);
            r->abort();
            r->deleteLater();
        }
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    if (stopping.Cancelled()) {
        throw FetchCancelled();
    }
    if (exited) {
        throwExited();
    }
    if (finished < inputs.size()) {
        // The program is ending and every event loop was told to stop.
        throw FetchCancelled();
    }
}

QJsonObject RcloneDaemon::Call(const QString& command, const QJsonObject& input, const HttpOptions& options) {
    Answer result;
    CallEach(command, {input}, 1, options, [&](size_t, const Answer& a) { result = a; });
    if (!result.error.isEmpty()) {
        RcloneError::Kind kind = kindOf(result.status, result.error);
        if (result.status == 0 && result.error.startsWith(u"no answer from rclone within")) {
            kind = RcloneError::Kind::TimedOut;
        }
        throw RcloneError(kind, result.error);
    }
    return result.body;
}

qsizetype RemoteNameEnd(const QString& remote, qsizetype* nameLength) {
    // NAME or :backend, then connection-string options, then ':'.
    qsizetype i = remote.startsWith(u':') ? 1 : 0;
    const qsizetype nameStart = i;
    auto nameChar = [](QChar c) {
        return c.isLetterOrNumber() || c == u'_' || c == u'.' || c == u'+' || c == u'@' || c == u'-' ||
               c == u' ';
    };
    while (i < remote.size() && nameChar(remote[i])) {
        ++i;
    }
    if (i == nameStart || i >= remote.size() || (remote[i] != u':' && remote[i] != u',')) {
        return -1; // a local path
    }
    if (nameLength) {
        *nameLength = i;
    }
    // Options: key=value pairs, a value quoted with " or ' (a doubled quote
    // standing for itself) or running to the next ',' or ':'.
    while (i < remote.size() && remote[i] == u',') {
        ++i;
        while (i < remote.size() && remote[i] != u'=' && remote[i] != u',' && remote[i] != u':') {
            ++i;
        }
        if (i < remote.size() && remote[i] == u'=') {
            ++i;
            if (i < remote.size() && (remote[i] == u'"' || remote[i] == u'\'')) {
                const QChar quote = remote[i++];
                while (i < remote.size()) {
                    if (remote[i] == quote) {
                        if (i + 1 < remote.size() && remote[i + 1] == quote) {
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    ++i;
                }
            } else {
                while (i < remote.size() && remote[i] != u',' && remote[i] != u':') {
                    ++i;
                }
            }
        }
    }
    return i < remote.size() && remote[i] == u':' ? i : -1;
}

QString RemoteDisplayName(const QString& remote) {
    qsizetype name = 0;
    const qsizetype end = RemoteNameEnd(remote, &name);
    if (end < 0) {
        // A local path, or options that never end: none of them is shown.
        return name > 0 ? remote.left(name) + u':' : remote;
    }
    return remote.left(name) + remote.mid(end);
}

} // namespace zandorel
