// The main window's layout and the scrolled link list: the figures of the
// design client area, wide bottom buttons, a tiny window, the scroll
// example, and the row pitch from the settings and the skinned template row.

#include "app_support.h"
#include "settings/keys.h"

#include <QScrollBar>
#include <QTest>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

class LayoutTest : public AppTest {
protected:
    // Resizes the window's inner area and waits until the window has it.
    static void ResizeInner(MainWindow& window, int width, int height) {
        window.resize(width, height);
        QTRY_COMPARE(window.size(), QSize(width, height));
    }
};

// Checks figures written as "Control.Property value, ...".
void expectFigures(const MainWindow& window, const char* figures) {
    for (const QString& figure : QString::fromLatin1(figures).split(u',', Qt::SkipEmptyParts)) {
        const QStringList parts = figure.simplified().split(u' ');
        const QStringList target = parts.value(0).split(u'.');
        SCOPED_TRACE(figure.simplified().toStdString());
        const std::optional<QString> value = window.Ctl(target.value(0)).Property(target.value(1));
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(*value, parts.value(1));
    }
}

TEST_F(LayoutTest, DesignClientAreaGivesTheWorkedFigures) {
    MainWindow& window = Window(0);
    ResizeInner(window, 842, 425);
    expectFigures(
        window,
        "Command_ListUp.Left 814, Command_ListDown.Left 814, List_CodeList.Left 581,"
        "Label_CodeList.Left 581, Label_CodeList.Width 233, Command_AddToList.Left 581,"
        "Command_DelToList.Left 609, Text_AllLinkCode.Left 561, Label_AllLinkCode.Left 561,"
        "Text_AllLinkCode.Height 248, Command_Exit.Left 761, Command_NewWindow.Left 656,"
        "Command_Updata.Left 567, Command_Exit.Top 392, Command_NewWindow.Top 392,"
        "Command_Updata.Top 392, Command_Get.Left 492, Command_GetFromFile.Left 492,"
        "Command_GetFromURL.Left 395, Command_CreatLinkList.Left 492, Text_URL.Width 476,"
        "Label_URL.Width 476, Text_CodeFormat.Width 476, Label_CodeFormat.Width 476,"
        "Picture_LinkList_Out.Width 545, Label_LinkList.Width 545, Picture_LinkList_Out.Height 289,"
        "Picture_LinkList_Out.ScaleHeight 287, VScroll_LinkList.Left 526, VScroll_LinkList.Height 287,"
        "Picture_LinkList_In.Width 526, Picture_LinkList_In.Height 287, Picture_LinkList_In.Top 0,"
        "VScroll_LinkList.Enabled False,");
    // The widgets show the figures.
    EXPECT_EQ(window.Ctl(QStringLiteral("Command_Exit")).Widget()->geometry(), QRect(761, 392, 73, 25));
    EXPECT_EQ(window.Ctl(QStringLiteral("Picture_LinkList_Out")).Widget()->geometry(),
              QRect(8, 128, 545, 289));
    EXPECT_EQ(window.Ctl(QStringLiteral("VScroll_LinkList")).Widget()->geometry(), QRect(526, 0, 17, 287));
    EXPECT_FALSE(window.Ctl(QStringLiteral("VScroll_LinkList")).Widget()->isEnabled());
}

TEST_F(LayoutTest, WideBottomButtonsEndTheFrameAboveThem) {
    WriteSettings(QStringLiteral("<Soft><Window><Form_Main><Command_NewWindow Width=\"110\" Height=\"30\"/>"
                                 "</Form_Main></Window></Soft>"));
    ASSERT_TRUE(Restart());
    MainWindow& window = Window(0);
    ResizeInner(window, 842, 425);
    // band 30: the taller button fills the strip, the others stand centred in it (halves kept).
    expectFigures(window,
                  "Command_NewWindow.Left 635, Command_NewWindow.Top 387, Command_Exit.Top 389.5,"
                  "Command_Updata.Left 546, Text_AllLinkCode.Height 243, Picture_LinkList_Out.Height 251,");
    EXPECT_EQ(window.Ctl(QStringLiteral("Command_Exit")).Widget()->y(), 390); // 389.5 to the even neighbour
}

TEST_F(LayoutTest, TinyWindowHoldsSizesAtZero) {
    MainWindow& window = Window(0);
    ResizeInner(window, 120, 90);
    expectFigures(
        window, "Text_AllLinkCode.Height 0, Picture_LinkList_Out.Height 0, Picture_LinkList_Out.Width 0,"
                "Text_URL.Width 0, Text_CodeFormat.Width 0, Command_ListUp.Left 92, List_CodeList.Left -141,"
                "VScroll_LinkList.Left -17,");
    // A listing in a window this small still fills.
    window.CreateLinkRows(3);
    EXPECT_EQ(window.Label_Link(3).Top(), 8 + 2 * 71);
    EXPECT_TRUE(window.RowsWithWidgets().isEmpty());
}

TEST_F(LayoutTest, ScrollingMovesThePaneByTheHiddenPart) {
    MainWindow& window = Window(0);
    // A frame with an inner height of 200.
    ResizeInner(window, 842, 338);
    ASSERT_EQ(window.Ctl(QStringLiteral("Picture_LinkList_Out")).ScaleHeight(), 200);
    ASSERT_EQ(window.RowPitch(), 71);
    window.CreateLinkRows(5);
    expectFigures(window,
                  "Picture_LinkList_In.Height 363, VScroll_LinkList.Enabled True, VScroll_LinkList.Max 1000,"
                  "VScroll_LinkList.LargeChange 860, VScroll_LinkList.SmallChange 86,");
    EXPECT_EQ(window.Label_Link(1).Top(), 8);
    EXPECT_EQ(window.Label_Link(2).Top(), 79);
    EXPECT_EQ(window.Text_Link(2).Top(), 95);
    EXPECT_EQ(window.Command_Link_AllValue(2).Top(), 95);
    EXPECT_EQ(window.Label_LinkWarn(5).Top(), 52 + 4 * 71);
    EXPECT_EQ(window.Command_Link_AllValue(1).Left(), 526 - 25);
    EXPECT_EQ(window.Text_Link(1).Width(), 501);
    EXPECT_EQ(window.Label_Link(1).Width(), 518);

    auto* bar = qobject_cast<QScrollBar*>(window.Ctl(QStringLiteral("VScroll_LinkList")).Widget());
    EXPECT_EQ(bar->pageStep(), 860);
    bar->setValue(500);
    EXPECT_EQ(window.Ctl(QStringLiteral("Picture_LinkList_In")).Top(), -81.5);
    bar->setValue(1000);
    EXPECT_EQ(window.Ctl(QStringLiteral("Picture_LinkList_In")).Top(), -163);
    EXPECT_EQ(window.RowsWithWidgets().last(), 5);

    // A re-layout keeps the scroll position; rows that fit give a pane as high as the frame.
    ResizeInner(window, 900, 338);
    EXPECT_EQ(bar->value(), 1000);
    EXPECT_EQ(window.Ctl(QStringLiteral("Picture_LinkList_In")).Top(), -163);
    window.ClearLinkRows();
    window.CreateLinkRows(2);
    EXPECT_EQ(window.Ctl(QStringLiteral("Picture_LinkList_In")).Height(), 200);
    EXPECT_EQ(window.Ctl(QStringLiteral("Picture_LinkList_In")).Top(), 0);
    EXPECT_FALSE(bar->isEnabled());
}

TEST_F(LayoutTest, RowPitchComesFromListDistanceAndTheSkinnedTemplateRow) {
    const struct {
        const char* name;
        const char* settings;
        int pitch;
        double templateTop;
    } cases[] = {
        {"default", "<Soft/>", 71, 8},
        {"rows touching", "<Soft><Config ListDistance=\"0\"/></Soft>", 61, 8},
        {"rows overlapping", "<Soft><Config ListDistance=\"-20\"/></Soft>", 41, 8},
        {"rows stacked in one place", "<Soft><Config ListDistance=\"-61\"/></Soft>", 0, 8},
        {"index node wins over the control node",
         "<Soft><Window><Form_Main><Label_Link Top=\"5\"><Index_0 "
         "Top=\"9\"/></Label_Link></Form_Main></Window>"
         "</Soft>",
         70, 9},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteSettings(QString::fromUtf8(c.settings));
        ASSERT_TRUE(Restart());
        MainWindow& window = Window(0);
        EXPECT_EQ(window.RowPitch(), c.pitch);
        EXPECT_EQ(window.Label_Link(0).Top(), c.templateTop);
        window.CreateLinkRows(3);
        EXPECT_EQ(window.Label_Link(3).Top(), c.templateTop + 2 * c.pitch);
        EXPECT_FALSE(window.RowsWithWidgets().isEmpty());
    }
}

} // namespace
