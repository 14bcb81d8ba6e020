// Controls by name: the properties the settings can set, the conversions
// they go through, and the skinning of a window from its settings node.

#include "app/codelistbox.h"
#include "app_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

using ControlTest = AppTest;

TEST_F(ControlTest, PropertiesByNameConvertOrAreRefused) {
    MainWindow& window = Window(0);
    const struct {
        const char* control;
        const char* property;
        const char* value;
        bool taken;
        const char* reads; // what the property reads afterwards
    } cases[] = {
        {"Command_Get", "height", "30", true, "30"},
        {"Command_Get", "Height", "abc", false, "30"},
        {"Command_Get", "Text", "Go on", false, nullptr},
        {"Text_URL", "Text", "http://x/", true, "http://x/"},
        {"Label_URL", "Visible", "False", true, "False"},
        {"Label_URL", "Visible", "maybe", false, "False"},
        {"Label_URL", "ForeColor", "16744448", true, "16744448"},
        {"Label_URL", "ForeColor", "-2147483633", false, "16744448"},
        {"VScroll_LinkList", "Value", "5000", true, "1000"},
        {"VScroll_LinkList", "LargeChange", "12", true, "12"},
        {"Timer_Update", "Interval", "250", true, "250"},
        {"Label_URL", "Alignment", "2", false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.control) + "." + c.property + " = " + c.value);
        Control& control = window.Ctl(QString::fromLatin1(c.control));
        EXPECT_EQ(control.SetProperty(QString::fromLatin1(c.property), QString::fromLatin1(c.value)),
                  c.taken);
        const std::optional<QString> reads = control.Property(QString::fromLatin1(c.property));
        EXPECT_EQ(reads.has_value(), c.reads != nullptr);
        if (c.reads) {
            EXPECT_EQ(*reads, QString::fromLatin1(c.reads));
        }
    }
    // The widgets follow.
    EXPECT_EQ(window.Ctl(QStringLiteral("Command_Get")).Widget()->height(), 30);
    EXPECT_FALSE(window.Ctl(QStringLiteral("Label_URL")).Widget()->isVisible());
    EXPECT_EQ(window.Ctl(QStringLiteral("Label_URL")).Widget()->palette().color(QPalette::WindowText),
              QColor(0x00, 0x80, 0xFF));
    EXPECT_EQ(qobject_cast<QLineEdit*>(window.Ctl(QStringLiteral("Text_URL")).Widget())->text(),
              QStringLiteral("http://x/"));
    EXPECT_EQ(qobject_cast<QScrollBar*>(window.Ctl(QStringLiteral("VScroll_LinkList")).Widget())->pageStep(),
              12);
}

TEST_F(ControlTest, RowsTakeTheTemplateRowsLookWhenTheyGetWidgets) {
    MainWindow& window = Window(0);
    ASSERT_TRUE(window.Label_Link(0).SetProperty(QStringLiteral("FontBold"), QStringLiteral("True")));
    window.CreateLinkRows(2);
    window.Label_LinkWarn(2).SetVisible(true);
    const QWidget* warn = window.RowWidget(QStringLiteral("Label_LinkWarn"), 2);
    ASSERT_NE(warn, nullptr);
    EXPECT_EQ(warn->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(window.RowWidget(QStringLiteral("Label_Link"), 1)->font().bold());
    EXPECT_EQ(window.Label_LinkWarn(2).Property(QStringLiteral("ForeColor")), QStringLiteral("255"));
}

TEST_F(ControlTest, SkinningAppliesTheWindowAndControlNodes) {
    WriteSettings(QStringLiteral(
        "<Soft><Window>"
        "<Form_Main Left=\"30\" Top=\"-40\" Width=\"700px\" Caption=\"%s(AppTitle) window \">"
        "<Command_Get Height=\"12.5\" Width=\"-90\"/>"
        "<Label_CodeList Text=\"no such property\" Caption=\"%s(AppTitle) templates\" Top=\"abc\"/>"
        "<Text_URL Text=\"http://127.0.0.1/?cid=%s(AppTitle)\"/>"
        "<Command_Link_AllValue Caption=\"!\"><Index_0 Caption=\"i\"/><Index_1 Caption=\"never\"/>"
        "</Command_Link_AllValue>"
        "</Form_Main>"
        "<CodeListBox Caption=\"%s(AppTitle) properties\" Width=\"500\" Height=\"260\"><Command_Ok "
        "Caption=\"OK\"/>"
        "</CodeListBox>"
        "</Window></Soft>"));
    ASSERT_TRUE(Restart());
    MainWindow& window = Window(0);
    EXPECT_EQ(window.pos(), QPoint(30, 40));
    QTRY_COMPARE(window.frameGeometry().width(), 700);
    EXPECT_EQ(window.Ctl(QStringLiteral("Command_Get")).Height(), 125);
    EXPECT_EQ(window.Ctl(QStringLiteral("Command_Get")).Width(), 90);
    EXPECT_EQ(window.Ctl(QStringLiteral("Label_CodeList")).Caption(), QStringLiteral("Zandorel templates"));
    EXPECT_EQ(window.Ctl(QStringLiteral("Label_CodeList")).Top(), 8);
    EXPECT_EQ(window.Ctl(QStringLiteral("Text_URL")).Text(),
              QStringLiteral("http://127.0.0.1/?cid=Zandorel"));
    EXPECT_EQ(window.Command_Link_AllValue(0).Caption(), QStringLiteral("i"));
    window.CreateLinkRows(1);
    EXPECT_EQ(window.Command_Link_AllValue(1).Caption(), QStringLiteral("i"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Zandorel window 0"));

    CodeListBox viewer(&window);
    EXPECT_EQ(viewer.windowTitle(), QStringLiteral("Zandorel properties"));
    EXPECT_EQ(viewer.size(), QSize(500, 260));
    EXPECT_EQ(viewer.Command_Ok().Caption(), QStringLiteral("OK"));
}

} // namespace
