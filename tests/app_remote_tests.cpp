// A folder of an rclone remote typed into the folder address box: the rows
// fill through rclone, and what cannot be listed is told in one message. The
// two check boxes beside the address take in sub-folders and ask for public
// links, keep their state in the settings file, and the label above the list
// tells how far a listing is.

#include "app_support.h"
#include "settings/editxml.h"
#include "settings/keys.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTcpServer>
#include <QTcpSocket>
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
        TypeInto(u"Text_URL"_s, text);
        QTest::keyClick(Ctl(u"Text_URL"_s).Widget(), Qt::Key_Return);
    }
    QStringList Links() const {
        QStringList out;
        for (int i = 1; i <= Window().LinkList().LinkRowCount(); ++i) {
            out << Window().LinkList().Text_Link(i).Text();
        }
        out.sort();
        return out;
    }
    // Clicks a check box on its box, as a person does.
    void Tick(const QString& name) {
        QWidget* box = Ctl(name).Widget();
        ASSERT_NE(box, nullptr);
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    void UsePathFormat() { TypeInto(u"Text_CodeFormat"_s, u"%v(path)|%t(sharingLevelValue)"_s); }
    QByteArray saved;
};

// A remote typed into the address box replaces the rows of a saved page.
TEST_F(RemoteWindowTest, TheCheckBoxesChangeWhatIsListedAndOpenAsTheyWereLeft) {
    LoadSavedPage(u"app_folder.html"_s);
    ASSERT_EQ(Window().LinkList().LinkRowCount(), 3);
    UsePathFormat();
    auto* subFolders = qobject_cast<QCheckBox*>(Ctl(u"Check_SubFolders"_s).Widget());
    auto* links = qobject_cast<QCheckBox*>(Ctl(u"Check_PublicLinks"_s).Widget());
    ASSERT_TRUE(subFolders && links);
    EXPECT_EQ(subFolders->text(), u"包含子文件夹"_s);
    EXPECT_EQ(links->text(), u"生成公开链接"_s);
    EXPECT_FALSE(subFolders->isChecked());
    EXPECT_FALSE(links->isChecked());

    TypeAndEnter(u"t:"_s);
    EXPECT_EQ(Links(), (QStringList{u"a b.txt|2"_s, u"noext|2"_s, u"中文 名.pdf|2"_s}));
    TypeAndEnter(u"t:sub"_s);
    EXPECT_EQ(Links(), QStringList{u"inner.txt|2"_s});

    // Sub-folders: their files follow with their path below the folder.
    Tick(u"Check_SubFolders"_s);
    EXPECT_TRUE(subFolders->isChecked());
    EXPECT_EQ(Ctl(u"Check_SubFolders"_s).Value(), 1);
    TypeAndEnter(u"t:"_s);
    EXPECT_EQ(Links(), (QStringList{u"a b.txt|2"_s, u"noext|2"_s, u"sub/inner.txt|2"_s, u"中文 名.pdf|2"_s}));
    EXPECT_TRUE(Messages().isEmpty());

    // Links of a remote that makes none: the rows are listed all the same,
    // each with the warning, and that the remote makes none is told once.
    Tick(u"Check_PublicLinks"_s);
    TypeAndEnter(u"t:"_s);
    EXPECT_EQ(Links().size(), 4);
    ASSERT_EQ(Messages().size(), 1);
    EXPECT_EQ(Messages()[0].text, u"无法生成公开链接：t: makes no public links"_s);
    EXPECT_EQ(Messages()[0].title, u"云端文件夹"_s);
    EXPECT_TRUE(Window().LinkList().Label_LinkWarn(1).Visible());
    // The label above the list says again what it says when nothing works.
    EXPECT_EQ(Ctl(u"Label_LinkList"_s).Caption(), u"外链地址列表"_s);

    // Off again: the folder's own files only, and no message.
    dialogs.clear();
    Tick(u"Check_PublicLinks"_s);
    Tick(u"Check_SubFolders"_s);
    TypeAndEnter(u"t:"_s);
    EXPECT_EQ(Links().size(), 3);
    EXPECT_TRUE(Messages().isEmpty());

    // The state reaches the settings file when the window closes and is
    // back at the next start.
    Tick(u"Check_PublicLinks"_s);
    Window().close();
    ASSERT_TRUE(program->Ended());
    pugi::xml_document doc;
    ASSERT_TRUE(LoadXmlText(doc, SavedSettings()));
    EXPECT_EQ(ReadAttribute(doc, keys::FormMain + u"/Check_SubFolders"_s, u"Value"_s, u"-"_s), u"0"_s);
    EXPECT_EQ(ReadAttribute(doc, keys::FormMain + u"/Check_PublicLinks"_s, u"Value"_s, u"-"_s), u"1"_s);
    ASSERT_TRUE(Restart());
    EXPECT_FALSE(qobject_cast<QCheckBox*>(Ctl(u"Check_SubFolders"_s).Widget())->isChecked());
    EXPECT_TRUE(qobject_cast<QCheckBox*>(Ctl(u"Check_PublicLinks"_s).Widget())->isChecked());
    EXPECT_EQ(Ctl(u"Check_PublicLinks"_s).Value(), 1);
}

TEST_F(RemoteWindowTest, ShareSubFoldersFollowTheCheckBoxAndTheLabelTellsTheProgress) {
    // Every page of this server lists a.txt and the sub-folder dir: the
    // sub-folder's page is fetched once, and dir met again adds nothing.
    Serve(u"<html><script>var primedResponse={\"items\":[{\"id\":\"F\",\"children\":["
          u"{\"id\":\"A1\",\"name\":\"a\",\"extension\":\".txt\",\"sharingLevelValue\":0},"
          u"{\"id\":\"D1\",\"name\":\"dir\",\"itemType\":\"folder\",\"sharingLevelValue\":0}"
          u"]}]};</script></html>"_s.toUtf8(),
          true);
    QStringList captions;
    server.onRequest = [&] {
        QTimer::singleShot(0, [&] {
            captions << qobject_cast<QLabel*>(Ctl(u"Label_LinkList"_s).Widget())->text();
            server.Release();
        });
    };
    UsePathFormat();
    StartGet(Window());
    EXPECT_EQ(Window().LinkList().LinkRowCount(), 2); // the folder's own page, no sub-folder asked for
    EXPECT_EQ(captions, QStringList{u"外链地址列表"_s});

    Tick(u"Check_SubFolders"_s);
    captions.clear();
    StartGet(Window());
    EXPECT_EQ(Links(), (QStringList{u"a.txt|0"_s, u"dir/a.txt|0"_s, u"dir/dir|0"_s, u"dir|0"_s}));
    // Before the sub-folder's page is asked for, the two entries of the
    // folder's own page are told; at the end the label is as it was.
    EXPECT_EQ(captions, (QStringList{u"外链地址列表"_s, u"正在列出文件：已列出 2 个"_s}));
    EXPECT_EQ(Ctl(u"Label_LinkList"_s).Caption(), u"外链地址列表"_s);
    EXPECT_EQ(server.RequestCount(), 3);
}

TEST_F(RemoteWindowTest, WhatCannotBeListedIsToldOnce) {
    TypeAndEnter(u"t:"_s);
    ASSERT_EQ(Window().LinkList().LinkRowCount(), 3);

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
    ASSERT_EQ(Window().LinkList().LinkRowCount(), 3);
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
    EXPECT_FALSE(Window().Retrieval().Retrieving());
    EXPECT_TRUE(Messages().isEmpty());
    EXPECT_EQ(Links(), (QStringList{u"<a href=\"\">a b.txt</a>"_s, u"<a href=\"\">noext</a>"_s,
                                    u"<a href=\"\">中文 名.pdf</a>"_s}));
}

} // namespace
