#pragma once
// The cloud engine: one `rclone rcd` child process on 127.0.0.1, driven
// through its remote-control API with JSON POSTs. The daemon takes a port of
// its own choosing and a user name and password made fresh at each start,
// given to it in its environment (never on its command line, where other
// users could read them). It ends with its owner, and with the program
// however the program ends.
//
// Calls are waited for like GetTextFromURL's fetch: the event loop keeps
// serving the windows, the cancel token of the options stops them at once and
// each call has the options' time limit.

#include "net/http.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

class QProcess;

namespace zandorel {

// What went wrong with rclone or a remote. `what()` is one line for the user.
class RcloneError : public std::runtime_error {
public:
    enum class Kind {
        Missing,       // no rclone program on the PATH
        StartFailed,   // rclone did not start its remote control
        Exited,        // rclone ended while calls were waiting
        UnknownRemote, // no such remote in the configuration, or no such backend
        NotFound,      // the folder is not there
        Unreachable,   // the remote could not be reached or read
        CallFailed,    // rclone answered a call with an error
        TimedOut,      // no answer within the time limit
    };
    RcloneError(Kind kind, const QString& message);
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// The Debian package that provides the engine.
inline constexpr char RclonePackage[] = "rclone";

class RcloneDaemon {
public:
    RcloneDaemon();
    // Stops rclone.
    ~RcloneDaemon();
    RcloneDaemon(const RcloneDaemon&) = delete;
    RcloneDaemon& operator=(const RcloneDaemon&) = delete;

    // Starts rclone when it is not running (again, after it ended). Raises
    // RcloneError (Missing, StartFailed) and FetchCancelled.
    void Start(const HttpOptions& options = {});
    bool Running() const;
    void Stop();
    // The process id of the running rclone, else 0.
    qint64 ProcessId() const;
    // The address of its remote control, "http://127.0.0.1:PORT/".
    QString Address() const { return address_; }

    // One call of an rc command ("operations/list"); starts rclone when it
    // is not running. Returns rclone's JSON answer; raises RcloneError with
    // rclone's own error text for an answer that is not a success, and
    // FetchCancelled.
    QJsonObject Call(const QString& command, const QJsonObject& input, const HttpOptions& options = {});

    // The answer to one of many calls: the JSON answer, or the error text.
    struct Answer {
        QJsonObject body;
        QString error; // empty on success
        int status = 0;
    };
    // Calls `command` once per input, at most `inFlight` at a time, and hands
    // each answer to `done` (index of the input, answer) as it arrives. A call
    // that fails does not stop the others. Raises RcloneError (Exited,
    // Missing, StartFailed) and FetchCancelled; `done` has then been told
    // only of the calls that had finished.
    void CallEach(const QString& command, const std::vector<QJsonObject>& inputs, int inFlight,
                  const HttpOptions& options, const std::function<void(size_t, const Answer&)>& done);

    // The last lines rclone wrote to its standard error (for messages).
    QStringList LastLog() const { return log_; }

private:
    struct Network;
    void readLog();
    [[noreturn]] void throwExited() const;

    std::unique_ptr<QProcess> process_;
    std::unique_ptr<Network> network_;
    QByteArray authorization_;
    QString address_;
    QByteArray pending_; // a log line not yet ended
    QStringList log_;
};

// The `:backend` or `NAME` and the path of a remote text, without the
// options of a connection string (`NAME,opt=value:path`), whose values may
// hold keys: what the program shows of a remote.
QString RemoteDisplayName(const QString& remote);

// Where the `NAME` or `:backend` part of a remote text ends, its
// connection-string options included: the index of the ':' before the path,
// or -1 when the text is a local path. `nameLength` gets the length of the
// name alone.
qsizetype RemoteNameEnd(const QString& remote, qsizetype* nameLength = nullptr);

} // namespace zandorel
