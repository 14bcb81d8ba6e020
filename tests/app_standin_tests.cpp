// The window lists a folder of the stand-in share service through
// Command_Get, as a person does with the address it prints.

#include "app_support.h"
#include "settings/keys.h"
#include "standin.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <thread>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

TEST_F(AppTest, ListsTheStandInsFolderThroughCommandGet) {
    const QString share = folder.filePath(u"share"_s);
    ASSERT_TRUE(QDir().mkpath(share + u"/图片"_s));
    WriteFile(share + u"/会议纪要.txt"_s, u"内容"_s);
    WriteFile(share + u"/readme.txt"_s, u"hello"_s);
    WriteFile(share + u"/private.txt"_s, u"secret"_s);
    QFile::setPermissions(share + u"/private.txt"_s, QFileDevice::ReadOwner | QFileDevice::WriteOwner);

    standin::ServerOptions options;
    options.port = 0;
    options.folder = share.toStdString();
    standin::ShareServer server(options);
    ASSERT_TRUE(server.bind());
    std::thread serving([&] { server.run(); });
    SetSetting(keys::Config, keys::ShareService, QString::fromStdString(server.baseAddress()));

    MainWindow& window = Window();
    auto* box = qobject_cast<QLineEdit*>(Ctl(u"Text_URL"_s).Widget());
    QTest::keyClicks(box, QString::fromStdString(server.rootAddress()));
    Press(u"Command_Get"_s);
    server.stop();
    serving.join();

    EXPECT_TRUE(Messages().isEmpty());
    ASSERT_EQ(window.LinkList().LinkRowCount(), 4);
    QStringList captions;
    for (int i = 1; i <= 4; ++i) {
        captions << window.LinkList().Label_Link(i).Caption();
    }
    EXPECT_EQ(captions,
              (QStringList{u"1. 图片"_s, u"2. private.txt"_s, u"3. readme.txt"_s, u"4. 会议纪要.txt"_s}));
    EXPECT_TRUE(window.LinkList().Label_LinkWarn(2).Visible());
    EXPECT_FALSE(window.LinkList().Label_LinkWarn(3).Visible());
    const QString base = QString::fromStdString(server.baseAddress());
    EXPECT_TRUE(
        window.LinkList().Text_Link(4).Text().startsWith(u"<a href=\""_s + base + u"/download?id="_s));
    EXPECT_TRUE(window.LinkList().Text_Link(4).Text().endsWith(u"\">会议纪要.txt</a>"_s));
    EXPECT_EQ(Ctl(u"Text_AllLinkCode"_s).Text().count(u"\r\n"_s), 4);
}

} // namespace
