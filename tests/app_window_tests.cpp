// Window slots, the one save at the end, the caption, and the sizes of window and viewer.

#include "app_support.h"

#include <QDir>
#include <QLabel>

using namespace apptest;

namespace {

using WindowTest = AppTest;

// The window size in the settings file as saved.
QSize savedSize(const QString& document) {
    pugi::xml_document doc;
    EXPECT_TRUE(LoadXmlText(doc, document));
    return {ReadAttribute(doc, keys::FormMain, u"Width"_s, {}).toInt(),
            ReadAttribute(doc, keys::FormMain, u"Height"_s, {}).toInt()};
}

TEST_F(WindowTest, WindowsKeepTheirSlotNumbersAndTheLastCloseSavesOnce) {
    EXPECT_EQ(Window(0).windowTitle(), u"Zandorel V1.0.3 窗口0"_s);
    const QString before = SavedSettings();
    Press(u"Command_NewWindow"_s, 0);
    Press(u"Command_NewWindow"_s, 1);
    Window(1).close();
    Press(u"Command_NewWindow"_s, 2);
    EXPECT_EQ(program->Window(1), nullptr);
    for (int slot : {0, 2, 3}) {
        EXPECT_TRUE(Window(slot).windowTitle().endsWith(u"窗口"_s + QString::number(slot)));
    }
    FlushDeletes();
    // Closing in any order: only the last close saves and ends.
    Press(u"Command_Exit"_s, 3);
    Window(0).close();
    EXPECT_FALSE(program->Ended());
    EXPECT_EQ(SavedSettings(), before);
    Window(2).resize(900, 500);
    const QSize outer = Window(2).frameGeometry().size();
    Window(2).close();
    EXPECT_TRUE(program->Ended());
    EXPECT_EQ(savedSize(SavedSettings()), outer);
    EXPECT_TRUE(Messages().isEmpty());
}

TEST_F(WindowTest, ASaveThatFailsIsToldToTheUser) {
    const QString sub = folder.filePath(u"gone"_s);
    ASSERT_TRUE(QDir().mkpath(sub));
    configPath = sub + u"/ZandorelConfig.xml"_s;
    ASSERT_TRUE(QFile::copy(QStringLiteral(ZANDOREL_CONFIG_FILE), configPath));
    ASSERT_TRUE(Restart());
    SetSetting(keys::SaveConfigError, u"Title"_s, u"%s(AppTitle): not saved"_s);
    ASSERT_TRUE(QDir(sub).removeRecursively());
    Window(0).close();
    EXPECT_TRUE(program->Ended());
    EXPECT_EQ(
        Told(),
        u"Zandorel: not saved | 保存设置文件失败，常用代码和窗口大小的修改没有保存到 ZandorelConfig.xml"_s);
    EXPECT_EQ(Messages().value(0).icon, Dialogs::Icon::Critical);
}

// The caption is the settings' template, or none, and the slot.
TEST_F(WindowTest, CaptionIsTheSettingsTemplateAndTheSlot) {
    for (const QString& caption : {u"%s(AppTitle) #"_s, QString()}) {
        ASSERT_TRUE(RestartWith(u"<Soft><Window><Form_Main Caption=\"%1\"/></Window></Soft>"_s.arg(caption)));
        Press(u"Command_NewWindow"_s);
        const QString shown = caption.isEmpty() ? QString() : u"Zandorel #"_s;
        EXPECT_EQ(Window(0).windowTitle(), shown + u'0');
        EXPECT_EQ(Window(1).windowTitle(), shown + u'1');
    }
}

// Off-screen sizes are fitted but not saved; a size that fits opens as saved, frame included.
TEST_F(WindowTest, ASizeLargerThanTheScreenIsFittedAtStartAndNotSaved) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_GE(area.width(), 1000);
    ASSERT_GE(area.height(), 700);
    const struct {
        const char* name;
        QString attributes;
        QRect frame;
        QSize saved; // empty: as the user resized it
    } cases[] = {
        {"too large", u"Width=\"3000\" Height=\"2500\""_s, area, QSize(3000, 2500)},
        {"too large, resized", u"Width=\"3000\" Height=\"2500\""_s, area, QSize()},
        {"too wide, placed off the right edge", u"Left=\"900\" Top=\"40\" Width=\"5000\" Height=\"600\""_s,
         QRect(area.left(), 40, area.width(), 600), QSize(5000, 600)},
        {"fits, but reaches off the screen", u"Left=\"1200\" Top=\"5000\" Width=\"1000\" Height=\"700\""_s,
         QRect(area.right() + 1 - 1000, area.bottom() + 1 - 700, 1000, 700), QSize(1000, 700)},
        {"fits as saved", u"Left=\"100\" Top=\"50\" Width=\"1000\" Height=\"700\""_s,
         QRect(100, 50, 1000, 700), QSize(1000, 700)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(RestartWith(u"<Soft><Window><Form_Main "_s + c.attributes + u"/></Window></Soft>"_s));
        MainWindow& window = Window();
        WaitUntil([&] { return window.frameGeometry() == c.frame; });
        EXPECT_EQ(window.frameGeometry(), c.frame);
        const QSize kept = c.saved.isEmpty() ? UserResize(window, QSize(900, 500)) : c.saved;
        if (c.saved.isEmpty()) { // from the keyboard: Space on the focused button
            Activate(window);
            Ctl(u"Command_Exit"_s).Widget()->setFocus(Qt::TabFocusReason);
            QTest::keyClick(Ctl(u"Command_Exit"_s).Widget(), Qt::Key_Space);
        } else {
            Press(u"Command_Exit"_s);
        }
        ASSERT_TRUE(program->Ended());
        EXPECT_EQ(savedSize(SavedSettings()), kept);
    }
}

// A minimum size keeps every control usable; no control stands on another.
TEST_F(WindowTest, MinimumSizeKeepsEveryControlWholeAndApart) {
    MainWindow& window = Window();
    const QSize minimum = window.minimumSize();
    ASSERT_GE(minimum.width(), 500);
    // The development run's test commands stand on other controls by design.
    const QStringList testCommands{u"Command1"_s, u"Command2"_s, u"Command3"_s};
    for (const QSize size : {QSize(50, 30), QSize(1100, 700)}) {
        SCOPED_TRACE(size.width());
        window.resize(size);
        QCoreApplication::processEvents();
        EXPECT_EQ(window.size(), size.expandedTo(minimum));
        QList<QWidget*> shown;
        for (const Control* control : window.Controls()) {
            QWidget* widget = control->Widget();
            if (widget && widget->parentWidget() == &window && widget->isVisibleTo(&window) &&
                !testCommands.contains(control->Name())) {
                EXPECT_TRUE(window.rect().contains(widget->geometry())) << control->Name().toStdString();
                EXPECT_GE(widget->width(), 20) << control->Name().toStdString();
                shown.append(widget);
            }
        }
        EXPECT_GE(Ctl(u"Text_URL"_s).Widget()->width(), 150);
        EXPECT_GE(Ctl(u"Text_AllLinkCode"_s).Widget()->height(), 60);
        // Labels may reach under their neighbours, but not under a check box.
        for (QWidget* a : shown) {
            for (QWidget* b : shown) {
                const bool label = qobject_cast<QLabel*>(a) || qobject_cast<QLabel*>(b);
                const bool box = a->inherits("QCheckBox") || b->inherits("QCheckBox");
                if (a != b && (!label || box)) {
                    EXPECT_FALSE(a->geometry().intersects(b->geometry()))
                        << a->objectName().toStdString() << " " << b->objectName().toStdString();
                }
            }
        }
    }
    window.resize(50, 30);
    window.close();
    ASSERT_TRUE(program->Ended());
    EXPECT_GE(savedSize(SavedSettings()).width(), minimum.width());
    ASSERT_TRUE(RestartWith(u"<Soft><Window><Form_Main Width=\"50\" Height=\"30\"/></Window></Soft>"_s));
    EXPECT_EQ(Window().size(), minimum);
}

using CodeListBoxTest = AppTest;

// The viewer's size in the settings.
QSize viewerSize() {
    const auto read = [](const QString& name) {
        return ReadAttribute(SettingsStore::Instance().Root(), keys::CodeListBox, name, {}).toInt();
    };
    return {read(u"Width"_s), read(u"Height"_s)};
}

// The viewer, skinned from its own node, shows one file the same at every opening.
TEST_F(CodeListBoxTest, ShowsOneFileAndItsSizeIsHeldBetweenTheMinimumAndTheScreen) {
    ASSERT_TRUE(
        RestartWith(u"<Soft><Window><CodeListBox Caption=\"%s(AppTitle) props\"><Command_Ok Caption=\"OK!\" "
                    u"BackColor=\"0000FF\"/></CodeListBox></Window></Soft>"_s));
    LoadSavedPage(u"app_folder.html"_s);
    const QString shown = ViewRow(Window(), 2, [&](CodeListBox& viewer) {
        EXPECT_EQ(viewer.windowTitle(), u"Zandorel props"_s);
        EXPECT_EQ(viewer.Command_Ok().Caption(), u"OK!"_s);
        EXPECT_EQ(viewer.Command_Ok().Property(u"BackColor"_s), u"16711680"_s);
        viewer.resize(400, 300); // the layout follows the viewer's size
        EXPECT_EQ(viewer.Text_Code().Height(), 275);
        EXPECT_EQ(viewer.Command_Ok().Left(), 163.5);
        QTest::keyClick(viewer.Text_Code().Widget(), Qt::Key_Escape);
    });
    EXPECT_TRUE(shown.startsWith(u"fileIndex     2\r\nid     A1B2!202\r\nname     b\r\n"
                                 u"extension     .jpg\r\nsharingLevelValue     1\r\n"_s));
    EXPECT_TRUE(shown.endsWith(u"urls.view     http://127.0.0.1:8765/view?id=A1B2!202\r\n"_s));
    EXPECT_EQ(ViewRow(Window(), 2), shown);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // A file without properties shows only its index.
    const QString page = folder.filePath(u"bare.html"_s);
    WriteFile(page, u"var primedResponse={\"items\":[{\"children\":[{\"name\":\"a\"},{ }]}]};"_s);
    LoadSavedPage(page);
    EXPECT_EQ(ViewRow(Window(), 2), u"fileIndex     2\r\n"_s);
    // The viewer's size: a minimum, fitted to the screen, the user's size kept.
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
    EXPECT_GE(viewerSize().width(), minimum.width());
    // Opened at each size, closed each time another way; a size the user gives is kept, a fitted one not.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const std::function<void(CodeListBox&)> closings[] = {
        [](CodeListBox& viewer) { Click(viewer.Command_Ok()); },
        [](CodeListBox& viewer) { QTest::keyClick(viewer.Text_Code().Widget(), Qt::Key_Return); },
        [](CodeListBox& viewer) { QTest::keyClick(viewer.Text_Code().Widget(), Qt::Key_Escape); },
        [](CodeListBox& viewer) { viewer.close(); }, // the close box
    };
    int closing = 0;
    for (const auto& [saved, resize] :
         {std::pair{QSize(3000, 2500), false}, std::pair{QSize(500, 420), false},
          std::pair{QSize(500, 420), true}, std::pair{QSize(50, 30), false}}) {
        SCOPED_TRACE(saved.width());
        SetSetting(keys::CodeListBox, u"Width"_s, QString::number(saved.width()));
        SetSetting(keys::CodeListBox, u"Height"_s, QString::number(saved.height()));
        const bool small = saved.width() < minimum.width();
        QRect frame;
        QSize kept = saved;
        ViewRow(Window(), 1, [&](CodeListBox& viewer) {
            WaitUntil([&] { return small || viewer.frameGeometry().size() == saved.boundedTo(area.size()); });
            frame = small ? QRect(QPoint(), viewer.size()) : viewer.frameGeometry();
            kept = resize ? UserResize(viewer, viewer.size() + QSize(20, 15)) : kept;
            closings[closing++](viewer);
        });
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(frame.size(), small ? minimum : saved.boundedTo(area.size()));
        EXPECT_TRUE(small || area.contains(frame));
        EXPECT_TRUE(small || viewerSize() == kept);
    }
}

} // namespace
