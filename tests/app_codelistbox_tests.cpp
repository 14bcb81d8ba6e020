// The property viewer: the properties of one file, opened by "?" of its row,
// closed by its button, Enter, Esc or the close box, and opening again at the
// size it was closed at, on the screen.

#include "app/codelistbox.h"
#include "app_support.h"
#include "settings/editxml.h"
#include "settings/keys.h"

#include <QScreen>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

class CodeListBoxTest : public AppTest {
protected:
    // The viewer's size in the settings.
    static QSize Saved() {
        const auto read = [](const QString& name) {
            return ReadAttribute(SettingsStore::Instance().Root(), keys::CodeListBox, name, {}).toInt();
        };
        return {read(u"Width"_s), read(u"Height"_s)};
    }
};

TEST_F(CodeListBoxTest, ShowsOneFileTheSameAtEveryOpening) {
    MainWindow& window = Window();
    LoadSavedPage(u"app_folder.html"_s);
    const QString shown = ViewRow(window, 2, [&](CodeListBox& viewer) {
        EXPECT_EQ(viewer.windowTitle(), u" 代码列表"_s);
        // The layout follows the viewer's size.
        viewer.resize(400, 300);
        EXPECT_EQ(viewer.Text_Code().Height(), 275);
        EXPECT_EQ(viewer.Command_Ok().Left(), 163.5);
        QTest::keyClick(viewer.Text_Code().Widget(), Qt::Key_Escape);
    });
    EXPECT_TRUE(shown.startsWith(u"fileIndex     2\r\nid     A1B2!202\r\nname     b\r\n"
                                 u"extension     .jpg\r\nsharingLevelValue     1\r\n"_s));
    EXPECT_TRUE(shown.endsWith(u"urls.view     http://127.0.0.1:8765/view?id=A1B2!202\r\n"_s));
    EXPECT_EQ(ViewRow(window, 2), shown);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // A file without properties shows only its index.
    const QString page = folder.filePath(u"bare.html"_s);
    WriteFile(page,
              u"<script>var primedResponse={\"items\":[{\"children\":[{\"name\":\"a\"},{ }]}]};</script>"_s);
    dialogs.answerOpenFile(page);
    Press(u"Command_GetFromFile"_s);
    ASSERT_EQ(window.LinkList().LinkRowCount(), 2);
    EXPECT_EQ(ViewRow(window, 2), u"fileIndex     2\r\n"_s);
}

// Regression: the outer size was written at close and applied as the inner
// size at the next opening whenever the window system framed the viewer
// after showing it (X11), so it grew by its frame at every opening.
TEST_F(CodeListBoxTest, ReopensAtTheSizeItWasClosedAtHoweverItIsClosed) {
    MainWindow& window = Window();
    LoadSavedPage(u"app_folder.html"_s);
    QSize closedAt;
    for (int cycle = 0; cycle < 10; ++cycle) {
        SCOPED_TRACE(cycle);
        const QSize previous = closedAt;
        QSize opened;
        ViewRow(window, 1, [&](CodeListBox& viewer) {
            // Once the window system has framed it, as it has by the time a person looks.
            WaitUntil([&] { return cycle > 0 && viewer.frameGeometry().size() == closedAt; });
            opened = viewer.frameGeometry().size();
            closedAt =
                cycle % 3 == 1 ? UserResize(viewer, viewer.size() + QSize(20 + cycle, 15)) : Framed(viewer);
            switch (cycle % 4) {
            case 0:
                Click(viewer.Command_Ok());
                break;
            case 1:
                QTest::keyClick(viewer.Text_Code().Widget(), Qt::Key_Return);
                break;
            case 2:
                QTest::keyClick(viewer.Text_Code().Widget(), Qt::Key_Escape);
                break;
            default:
                viewer.close(); // the close box
            }
        });
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        if (cycle > 0) {
            EXPECT_EQ(opened, previous);
        }
        EXPECT_EQ(Saved(), closedAt);
    }
    // The size reaches the disc with the settings and holds after a restart.
    Window().close();
    ASSERT_TRUE(Restart());
    LoadSavedPage(u"app_folder.html"_s);
    QSize reopened;
    ViewRow(Window(), 1, [&](CodeListBox& viewer) {
        WaitUntil([&] { return viewer.frameGeometry().size() == closedAt; });
        reopened = viewer.frameGeometry().size();
        viewer.close();
    });
    EXPECT_EQ(reopened, closedAt);
}

// The viewer cannot be made smaller than its text and button can use, by
// hand or by the settings; a saved size larger than the screen is fitted,
// and the fitted size is not kept as the user's.
TEST_F(CodeListBoxTest, SizesAreHeldBetweenTheMinimumAndTheScreen) {
    LoadSavedPage(u"app_folder.html"_s);
    QSize minimum;
    ViewRow(Window(), 1, [&](CodeListBox& viewer) {
        minimum = viewer.minimumSize();
        viewer.resize(50, 30);
        QCoreApplication::processEvents();
        EXPECT_EQ(viewer.size(), minimum);
        const QRect text = viewer.Text_Code().Widget()->geometry();
        const QRect button = viewer.Command_Ok().Widget()->geometry();
        EXPECT_GE(text.height(), 60);
        EXPECT_FALSE(text.intersects(button));
        EXPECT_TRUE(viewer.rect().contains(button));
        viewer.close();
    });
    ASSERT_GE(minimum.width(), 100);
    EXPECT_GE(Saved().width(), minimum.width());

    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    for (const QSize saved : {QSize(3000, 2500), QSize(500, 420), QSize(50, 30)}) {
        SCOPED_TRACE(saved.width());
        SetSetting(keys::CodeListBox, u"Width"_s, QString::number(saved.width()));
        SetSetting(keys::CodeListBox, u"Height"_s, QString::number(saved.height()));
        const bool small = saved.width() < minimum.width();
        QRect frame;
        QSize inner;
        ViewRow(Window(), 1, [&](CodeListBox& viewer) {
            WaitUntil([&] { return small || viewer.frameGeometry().size() == saved.boundedTo(area.size()); });
            frame = viewer.frameGeometry();
            inner = viewer.size();
            viewer.close();
        });
        if (small) {
            EXPECT_EQ(inner, minimum);
            continue;
        }
        EXPECT_EQ(frame.size(), saved.boundedTo(area.size()));
        EXPECT_TRUE(area.contains(frame));
        EXPECT_EQ(Saved(), saved);
    }
}

} // namespace
