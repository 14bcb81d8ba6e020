#pragma once
// One program per settings file. The first start on a settings file owns
// it and listens on a local socket named after the file and the user, in
// the user's private runtime folder; a later start on the same file asks
// the owner for one more main window and ends, so that only one program
// ever saves the file.

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>

namespace zandorel::app {

class SingleInstance : public QObject {
public:
    enum class Role {
        Owner,     // this program owns the file and listens for later starts
        Forwarded, // the owner has opened a window; this start ends
        Alone,     // no owner could be reached or become: this program goes on by itself
    };

    // `open` runs in the owner for each later start; it opens a main window
    // and returns its slot, or -1 when the program is ending and opens none.
    // The start is answered "opened SLOT" or "ended".
    SingleInstance(const QString& settingsPath, std::function<int()> open);
    ~SingleInstance() override;

    // The local socket's path for a settings file: one per user and file,
    // whatever path names the file, in the user's private runtime folder.
    static QString ServerName(const QString& settingsPath);

    // Asks the file's owner for a window, or becomes the owner when there
    // is none (a socket left by a program that died is removed).
    Role Claim();
    // Stops listening; later starts find no owner.
    void Close();

private:
    void answer(class QLocalSocket* socket);

    QString name_;
    std::function<int()> open_;
    QLocalServer server_;
};

} // namespace zandorel::app
