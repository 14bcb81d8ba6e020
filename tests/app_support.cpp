// The window tests' shared pieces, and their main: a QApplication, headless unless a platform is chosen.

#include "app_support.h"

#include "text/appinfo.h"

#include <QFile>
#include <QLineEdit>
#include <QTcpSocket>
#include <QWheelEvent>
#include <QtTest/qtestspontaneevent.h>

using namespace zandorel;
using namespace zandorel::app;

namespace apptest {

QString DataPath(const QString& name) {
    return QStringLiteral(ZANDOREL_TEST_DATA) + u'/' + name;
}

QString ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void WriteFile(const QString& path, const QString& text) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(text.toUtf8());
    }
}

QString GeneratedFolderPage(int count) {
    QStringList entries;
    for (int i = 1; i <= count; ++i) {
        entries.append(
            u"{\"id\":\"F.%1\",\"name\":\"file%1\",\"extension\":\".txt\",\"sharingLevelValue\":%2,"
            u"\"displaySize\":\"%1 KB\",\"urls\":{\"download\":\"http://127.0.0.1:8765/download?id=F.%1\"}}"_s
                .arg(QString::number(i), i % 7 ? u"0"_s : u"1"_s));
    }
    return u"<html><head><meta charset=\"utf-8\"></head><body><script>var primedResponse={\"items\":"
           u"[{\"id\":\"F\",\"children\":["_s +
           entries.join(u',') + u"]}]};</script></body></html>"_s;
}

namespace {

void answer(QTcpSocket* socket, const QByteArray& body) {
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                  QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
    socket->disconnectFromHost();
}

// An ended program told every event loop to stop; one short run clears that.
void clearEndedLoops() {
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

} // namespace

LocalHttpServer::LocalHttpServer() {
    server_.listen(QHostAddress::LocalHost, 0);
    connect(&server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                socket->setProperty("got", socket->property("got").toByteArray() + socket->readAll());
                const QByteArray got = socket->property("got").toByteArray();
                if (!got.contains("\r\n\r\n")) {
                    return;
                }
                socket->disconnect(this); // one request a connection
                requestLines.append(got.left(got.indexOf("\r\n")));
                if (onRequest) {
                    onRequest();
                }
                hold ? waiting_.append(socket) : answer(socket, body);
            });
        }
    });
}

void LocalHttpServer::Release() {
    const QList<QTcpSocket*> waiting = std::exchange(waiting_, {});
    for (QTcpSocket* socket : waiting) {
        answer(socket, body);
    }
}

void AppTest::SetUp() {
    ASSERT_TRUE(folder.isValid());
    // Zandorel 1.0.3, Linux edition, in the private folder.
    AppInfo::override({u"Zandorel"_s, folder.path(), u"Zandorel"_s, 1, 0, 3, u"Linux"_s});
    configPath = folder.filePath(u"ZandorelConfig.xml"_s);
    QFile::copy(QStringLiteral(ZANDOREL_CONFIG_FILE), configPath);
    QFile::setPermissions(configPath, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    ASSERT_TRUE(Restart());
}

void AppTest::TearDown() {
    program.reset();
    clearEndedLoops();
    FlushDeletes();
    AppInfo::reset();
}

bool AppTest::Restart() {
    program.reset();
    clearEndedLoops();
    FlushDeletes();
    dialogs.clear();
    program = std::make_unique<Program>(dialogs);
    // Nothing answers here: the silent update checks of new windows end at once.
    program->SetUpdateCheckAddress(u"http://127.0.0.1:9/tools/checkver/index.php"_s);
    return program->Start(configPath);
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

void AppTest::Wheel(QWidget* widget, int notches) {
    ASSERT_NE(widget, nullptr);
    ASSERT_TRUE(widget->isVisible());
    const QPointF at = QRectF(widget->rect()).center();
    QWheelEvent wheel(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    // Coming from the window system, it goes on to the parent when the widget ignores it.
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    QCoreApplication::instance()->notify(widget, &wheel);
}

QString AppTest::ViewRow(const MainWindow& window, int row, const std::function<void(CodeListBox&)>& act) {
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* viewer = qobject_cast<CodeListBox*>(QApplication::activeModalWidget());
        ASSERT_NE(viewer, nullptr);
        shown = viewer->Text_Code().Text();
        (act ? act : [](CodeListBox& open) { open.close(); })(*viewer);
    });
    Click(window.LinkList().Command_Link_AllValue(row));
    return shown;
}

QString AppTest::Told() const {
    QStringList lines;
    for (const ScriptedDialogs::Call& call : Messages()) {
        lines << call.title + u" | "_s + call.text;
    }
    return lines.join(u'\n');
}

void AppTest::Serve(const QByteArray& page, bool hold) {
    server.body = page;
    server.hold = hold;
    SetSetting(keys::Config, keys::ShareService, server.Base());
}

void AppTest::TypeInto(const QString& name, const QString& text, int slot) const {
    auto* box = qobject_cast<QLineEdit*>(Ctl(name, slot).Widget());
    ASSERT_NE(box, nullptr) << name.toStdString();
    box->selectAll();
    box->del();
    QTest::keyClicks(box, text);
}

} // namespace apptest

int main(int argc, char** argv) {
    // Headless, the windows stand on a 1400 x 1000 screen, larger than they are.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty() || platform == "offscreen") {
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" ZANDOREL_TEST_SCREEN);
    }
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
