// Remote folders listed through rclone, the two check boxes, and the progress label.

#include "app_support.h"

#include <QCheckBox>
#include <QDir>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace apptest;

namespace {

class RemoteWindowTest : public AppTest {
protected:
    // The remote t: is the folder tree made here, through rclone's alias.
    void SetUp() override {
        AppTest::SetUp();
        const QString root = folder.filePath(u"tree"_s);
        for (const QString& name : {u"a b.txt"_s, u"中文 名.pdf"_s, u"noext"_s, u"sub/inner.txt"_s}) {
            ASSERT_TRUE(QDir().mkpath(QFileInfo(root + u'/' + name).absolutePath()));
            WriteFile(root + u'/' + name, u"x"_s);
        }
        WriteFile(folder.filePath(u"rclone.conf"_s), u"[t]\ntype = alias\nremote = "_s + root + u'\n');
        saved = qgetenv("RCLONE_CONFIG");
        qputenv("RCLONE_CONFIG", folder.filePath(u"rclone.conf"_s).toLocal8Bit());
    }
    void TearDown() override {
        saved.isNull() ? qunsetenv("RCLONE_CONFIG") : qputenv("RCLONE_CONFIG", saved);
        AppTest::TearDown();
    }
    void TypeAndEnter(const QString& text) {
        TypeInto(u"Text_URL"_s, text);
        QTest::keyClick(Ctl(u"Text_URL"_s).Widget(), Qt::Key_Return);
    }
    // The link texts, sorted, separated by blanks.
    QString Links() const {
        QStringList out;
        for (int i = 1; i <= Rows().LinkRowCount(); ++i) {
            out << Rows().Text_Link(i).Text();
        }
        out.sort();
        return out.join(u' ');
    }
    // Clicks a check box on its box, as a person does.
    void Tick(const QString& name) {
        QTest::mouseClick(Ctl(name).Widget(), Qt::LeftButton, {},
                          QPoint(6, Ctl(name).Widget()->height() / 2));
    }
    bool Ticked(const QString& name) const {
        return qobject_cast<QCheckBox*>(Ctl(name).Widget())->isChecked();
    }
    QByteArray saved;
};

// A remote typed into the address box replaces the rows of a saved page.
TEST_F(RemoteWindowTest, TheCheckBoxesChangeWhatIsListedAndOpenAsTheyWereLeft) {
    LoadSavedPage(u"app_folder.html"_s);
    TypeInto(u"Text_CodeFormat"_s, u"%v(path)|%t(sharingLevelValue)"_s);
    EXPECT_EQ(Ctl(u"Check_SubFolders"_s).Widget()->property("text"), u"包含子文件夹"_s);
    EXPECT_EQ(Ctl(u"Check_PublicLinks"_s).Widget()->property("text"), u"生成公开链接"_s);
    EXPECT_FALSE(Ticked(u"Check_SubFolders"_s) || Ticked(u"Check_PublicLinks"_s));
    TypeAndEnter(u"t:"_s);
    EXPECT_EQ(Links(), u"a b.txt|2 noext|2 中文 名.pdf|2"_s);
    TypeAndEnter(u"t:sub"_s);
    EXPECT_EQ(Links(), u"inner.txt|2"_s);
    // Sub-folders: their files follow with their path below the folder.
    Tick(u"Check_SubFolders"_s);
    EXPECT_EQ(Ctl(u"Check_SubFolders"_s).Value(), 1);
    TypeAndEnter(u"t:"_s);
    EXPECT_EQ(Links(), u"a b.txt|2 noext|2 sub/inner.txt|2 中文 名.pdf|2"_s);
    EXPECT_TRUE(Messages().isEmpty());
    // A remote that makes no links: the rows all the same, each warned, and one message.
    Tick(u"Check_PublicLinks"_s);
    TypeAndEnter(u"t:"_s);
    EXPECT_EQ(Rows().LinkRowCount(), 4);
    EXPECT_EQ(Told(), u"云端文件夹 | 无法生成公开链接：t: makes no public links"_s);
    EXPECT_TRUE(Rows().Label_LinkWarn(1).Visible());
    // Off again: the folder's own files only, and no message.
    dialogs.clear();
    Tick(u"Check_PublicLinks"_s);
    Tick(u"Check_SubFolders"_s);
    TypeAndEnter(u"t:"_s);
    EXPECT_EQ(Rows().LinkRowCount(), 3);
    EXPECT_TRUE(Messages().isEmpty());
    // The state reaches the settings file when the window closes and is back at the next start.
    Tick(u"Check_PublicLinks"_s);
    Window().close();
    ASSERT_TRUE(program->Ended());
    pugi::xml_document doc;
    ASSERT_TRUE(LoadXmlText(doc, SavedSettings()));
    EXPECT_EQ(ReadAttribute(doc, keys::FormMain + u"/Check_SubFolders"_s, u"Value"_s, u"-"_s), u"0"_s);
    EXPECT_EQ(ReadAttribute(doc, keys::FormMain + u"/Check_PublicLinks"_s, u"Value"_s, u"-"_s), u"1"_s);
    ASSERT_TRUE(Restart());
    EXPECT_FALSE(Ticked(u"Check_SubFolders"_s));
    EXPECT_TRUE(Ticked(u"Check_PublicLinks"_s));
    EXPECT_EQ(Ctl(u"Check_PublicLinks"_s).Value(), 1);
}

TEST_F(RemoteWindowTest, ShareSubFoldersFollowTheCheckBoxAndTheLabelTellsTheProgress) {
    // Every page lists a.txt and the sub-folder dir: dir's page is fetched once, met again adds nothing.
    Serve(u"<html><script>var primedResponse={\"items\":[{\"id\":\"F\",\"children\":["
          u"{\"id\":\"A1\",\"name\":\"a\",\"extension\":\".txt\",\"sharingLevelValue\":0},"
          u"{\"id\":\"D1\",\"name\":\"dir\",\"itemType\":\"folder\",\"sharingLevelValue\":0}"
          u"]}]};</script></html>"_s.toUtf8(),
          true);
    QStringList captions;
    OnRequest([&] {
        captions << Ctl(u"Label_LinkList"_s).Widget()->property("text").toString();
        server.Release();
    });
    TypeInto(u"Text_CodeFormat"_s, u"%v(path)"_s);
    StartGet(Window());
    EXPECT_EQ(Rows().LinkRowCount(), 2); // the folder's own page, no sub-folder asked for
    EXPECT_EQ(captions, QStringList{u"外链地址列表"_s});
    Tick(u"Check_SubFolders"_s);
    captions.clear();
    StartGet(Window());
    EXPECT_EQ(Links(), u"a.txt dir dir/a.txt dir/dir"_s);
    // The folder's own two entries are told before dir's page is asked for; then the label is back.
    EXPECT_EQ(captions, (QStringList{u"外链地址列表"_s, u"正在列出文件：已列出 2 个"_s}));
    EXPECT_EQ(Ctl(u"Label_LinkList"_s).Caption(), u"外链地址列表"_s);
    EXPECT_EQ(server.RequestCount(), 3);
}

// What cannot be listed is told once; Esc stops a waiting listing, keeping the list.
TEST_F(RemoteWindowTest, WhatCannotBeListedIsToldOnceAndEscKeepsThePreviousList) {
    TypeAndEnter(u"t:"_s);
    ASSERT_EQ(Rows().LinkRowCount(), 3);
    TypeAndEnter(u"nosuch:dir"_s);
    EXPECT_TRUE(Told().startsWith(keys::RemoteErrorTitleDefault +
                                  u" | 无法列出云端文件夹：unknown remote nosuch:dir (rclone: "_s))
        << Told().toStdString();
    // No rclone: the message of the settings names the package.
    dialogs.clear();
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", folder.filePath(u"tree/sub"_s).toLocal8Bit());
    TypeAndEnter(u"t:"_s);
    qputenv("PATH", path);
    EXPECT_EQ(Told(), keys::RcloneMissingErrorTitleDefault + u" | "_s + keys::RcloneMissingErrorDefault);
    EXPECT_EQ(Messages().value(0).icon, Dialogs::Icon::Exclamation);
    // An SFTP server that takes the connection and never says a word: rclone waits until Esc.
    dialogs.clear();
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
    EXPECT_EQ(Links(), u"<a href=\"\">a b.txt</a> <a href=\"\">noext</a> <a href=\"\">中文 名.pdf</a>"_s);
}

} // namespace
