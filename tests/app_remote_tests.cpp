// A folder of an rclone remote typed into the folder address box: the rows
// fill through rclone, and what cannot be listed is told in one message.

#include "app_support.h"
#include "settings/keys.h"

#include <QDir>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

class RemoteWindowTest : public AppTest {
protected:
    void SetUp() override {
        AppTest::SetUp();
        const QString root = folder.filePath(u"tree"_s);
        for (const QString& name : {u"a b.txt"_s, u"中文 名.pdf"_s, u"noext"_s, u"sub/inner.txt"_s}) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(root + u'/' + name).absolutePath()));
            WriteFile(root + u'/' + name, u"x"_s);
        }
        const QString config = folder.filePath(u"rclone.conf"_s);
        WriteFile(config, u"[t]\ntype = alias\nremote = "_s + root + u'\n');
        saved = qgetenv("RCLONE_CONFIG");
        qputenv("RCLONE_CONFIG", config.toLocal8Bit());
    }
    void TearDown() override {
        if (saved.isNull()) {
            qunsetenv("RCLONE_CONFIG");
        } else {
            qputenv("RCLONE_CONFIG", saved);
        }
        AppTest::TearDown();
    }
    void TypeAndEnter(const QString& text) {
        auto* address = qobject_cast<QLineEdit*>(Ctl(u"Text_URL"_s).Widget());
        address->selectAll();
        QTest::keyClicks(address, text);
        QTest::keyClick(address, Qt::Key_Return);
    }
    QStringList Links() const {
        QStringList out;
        for (int i = 1; i <= Window().LinkRowCount(); ++i) {
            out << Window().Text_Link(i).Text();
        }
        out.sort();
        return out;
    }
    QByteArray saved;
};

TEST_F(RemoteWindowTest, ARemoteTypedIntoTheAddressBoxFillsTheRows) {
    LoadSavedPage(u"app_folder.html"_s);
    ASSERT_EQ(Window().LinkRowCount(), 3);
    auto* format = qobject_cast<QLineEdit*>(Ctl(u"Text_CodeFormat"_s).Widget());
    format->selectAll();
    QTest::keyClicks(format, u"%v(path)|%t(sharingLevelValue)"_s);

    TypeAndEnter(u"t:"_s);
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_EQ(Links(), (QStringList{u"a b.txt|2"_s, u"noext|2"_s, u"中文 名.pdf|2"_s}));

    TypeAndEnter(u"t:sub"_s);
    EXPECT_EQ(Links(), QStringList{u"inner.txt|2"_s});
}

TEST_F(RemoteWindowTest, WhatCannotBeListedIsToldOnce) {
    TypeAndEnter(u"t:"_s);
    ASSERT_EQ(Window().LinkRowCount(), 3);

    TypeAndEnter(u"nosuch:dir"_s);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_TRUE(Messages()[0].text.startsWith(u"无法列出云端文件夹：unknown remote nosuch:dir (rclone: "_s))
        << Messages()[0].text.toStdString();
    EXPECT_EQ(Messages()[0].title, keys::RemoteErrorTitleDefault);

    // No rclone: the message of the settings names the package.
    dialogs.clear();
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", folder.filePath(u"tree/sub"_s).toLocal8Bit());
    TypeAndEnter(u"t:"_s);
    qputenv("PATH", path);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0].text, keys::RcloneMissingErrorDefault);
    EXPECT_TRUE(Messages()[0].text.contains(u"rclone"_s));
    EXPECT_EQ(Messages()[0].icon, Dialogs::Icon::Exclamation);
}

TEST_F(RemoteWindowTest, EscDuringASlowListingKeepsThePreviousList) {
    TypeAndEnter(u"t:"_s);
    ASSERT_EQ(Window().LinkRowCount(), 3);
    // An SFTP server that takes the connection and never says a word: rclone
    // waits for it until Esc.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    std::vector<QTcpSocket*> held;
    bool escPressed = false;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = silent.nextPendingConnection()) {
            held.push_back(socket);
        }
        if (!escPressed) {
            escPressed = true;
            QTimer::singleShot(0, [&] { QTest::keyClick(Ctl(u"Text_URL"_s).Widget(), Qt::Key_Escape); });
        }
    });
    // The password is "x" as `rclone obscure` writes it.
    TypeAndEnter(
        u":sftp,host=127.0.0.1,port=%1,user=x,pass=vJbqHZhADPQcC9Li82R5o8I:dir"_s.arg(silent.serverPort()));
    EXPECT_TRUE(escPressed);
    EXPECT_FALSE(Window().Retrieving());
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_EQ(Links(), (QStringList{u"<a href=\"\">a b.txt</a>"_s, u"<a href=\"\">noext</a>"_s,
                                    u"<a href=\"\">中文 名.pdf</a>"_s}));
}

} // namespace
