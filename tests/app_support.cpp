#include "app_support.h"

#include "settings/editxml.h"
#include "share/diagnostics.h"
#include "text/appinfo.h"

#include <QCoreApplication>
#include <QFile>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QWidget>

using namespace zandorel;
using namespace zandorel::app;

namespace apptest {

QString DataPath(const QString& name) {
    return QStringLiteral(ZANDOREL_TEST_DATA) + u'/' + name;
}

QString ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}

void WriteFile(const QString& path, const QString& text) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(text.toUtf8());
    }
}

QString FolderPage(const QStringList& entries) {
    QString list;
    for (const QString& entry : entries) {
        list += (list.isEmpty() ? QString() : QStringLiteral(",")) + u'{' + entry + u'}';
    }
    return QStringLiteral(
               "<html><head><meta charset=\"utf-8\"></head><body><script>var primedResponse={\"items\":"
               "[{\"id\":\"F\",\"children\":[") +
           list + QStringLiteral("]}]};</script></body></html>");
}

QString GeneratedFolderPage(int count) {
    QStringList entries;
    entries.reserve(count);
    for (int i = 1; i <= count; ++i) {
        entries.append(QStringLiteral("\"id\":\"F.%1\",\"name\":\"file%1\",\"extension\":\".txt\","
                                      "\"sharingLevelValue\":%2,\"displaySize\":\"%1 KB\","
                                      "\"urls\":{\"download\":\"http://127.0.0.1:8765/download?id=F.%1\"}")
                           .arg(i)
                           .arg(i % 7 == 0 ? 1 : 0));
    }
    return FolderPage(entries);
}

LocalHttpServer::LocalHttpServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    SetBody(QByteArray());
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                if (socket->property("seen").toBool()) {
                    return;
                }
                QByteArray received = socket->property("received").toByteArray() + socket->readAll();
                socket->setProperty("received", received);
                if (!received.contains("\r\n\r\n")) {
                    return;
                }
                socket->setProperty("seen", true);
                requestLines_.append(received.left(received.indexOf("\r\n")));
                if (onRequest) {
                    onRequest();
                }
                if (hold_) {
                    waiting_.append(socket);
                } else {
                    answer(socket);
                }
            });
        }
    });
}

LocalHttpServer::~LocalHttpServer() {
    server_.close();
}

QString LocalHttpServer::Base() const {
    return QStringLiteral("http://") + Host();
}

QString LocalHttpServer::Host() const {
    return QStringLiteral("127.0.0.1:") + QString::number(server_.serverPort());
}

void LocalHttpServer::SetBody(const QByteArray& body, const QByteArray& contentType) {
    body_ = body;
    contentType_ = contentType;
}

void LocalHttpServer::Release() {
    const QList<QTcpSocket*> waiting = waiting_;
    waiting_.clear();
    for (QTcpSocket* socket : waiting) {
        answer(socket);
    }
}

void LocalHttpServer::answer(QTcpSocket* socket) {
    QByteArray response = "HTTP/1.1 200 OK\r\nContent-Type: " + contentType_ +
                          "\r\nContent-Length: " + QByteArray::number(body_.size()) +
                          "\r\nConnection: close\r\n\r\n" + body_;
    socket->write(response);
    socket->disconnectFromHost();
}

void RunInMainLoop(const std::function<void()>& body) {
    QTimer::singleShot(0, [&body] {
        body();
        QCoreApplication::exit(0);
    });
    // A guard against a test that never lets the loop end.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(20000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

void AppTest::SetUp() {
    ASSERT_TRUE(folder.isValid());
    AppInfo info;
    info.title = QStringLiteral("Zandorel");
    info.folder = folder.path();
    info.exeName = QStringLiteral("Zandorel");
    info.major = 1;
    info.minor = 0;
    info.revision = 3;
    info.edition = QStringLiteral("Linux");
    AppInfo::override(info);
    configPath = folder.filePath(QStringLiteral("ZandorelConfig.xml"));
    QFile::copy(QStringLiteral(ZANDOREL_CONFIG_FILE), configPath);
    QFile::setPermissions(configPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ASSERT_TRUE(Restart());
}

namespace {

// A program that has ended told every event loop to stop at once, nested
// ones to come included; one short run of the main loop clears that.
void clearEndedLoops() {
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

} // namespace

void AppTest::TearDown() {
    program.reset();
    clearEndedLoops();
    FlushDeletes();
    SetStepReporter({});
    AppInfo::reset();
}

bool AppTest::Restart() {
    program.reset();
    clearEndedLoops();
    FlushDeletes();
    dialogs.clear();
    dialogs.whileShown = nullptr;
    program = std::make_unique<Program>(dialogs);
    // Nothing answers at this address: the silent checks of new windows end at once.
    program->SetUpdateCheckAddress(QStringLiteral("http://127.0.0.1:9/tools/checkver/index.php"));
    return program->Start(configPath);
}

QString AppTest::SavedSettings() const {
    return ReadFile(configPath);
}

void AppTest::WriteSettings(const QString& text) {
    WriteFile(configPath, text);
}

void AppTest::SetSetting(const QString& path, const QString& attribute, const QString& value) {
    ASSERT_TRUE(WriteAttribute(SettingsStore::Instance().Root(), path, attribute, value));
}

MainWindow& AppTest::Window(int slot) const {
    MainWindow* window = program->Window(slot);
    if (!window) {
        throw std::out_of_range("no open window in that slot");
    }
    return *window;
}

void AppTest::Click(const Control& control) {
    QWidget* widget = control.Widget();
    ASSERT_NE(widget, nullptr) << control.Name().toStdString();
    ASSERT_TRUE(widget->isVisible()) << control.Name().toStdString();
    QTest::mouseClick(widget, Qt::LeftButton);
}

void AppTest::FlushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace apptest
