// The main window's layout and the scrolled link list: figures, scroll steps, wheel and Tab.

#include "app_support.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>

using namespace apptest;

namespace {

class LayoutTest : public AppTest {
protected:
    QScrollBar* Bar() const { return qobject_cast<QScrollBar*>(Ctl(u"VScroll_LinkList"_s).Widget()); }
    // Clicks a part of the scroll bar: an arrow, the groove.
    void ClickBar(QStyle::SubControl part) const {
        QTest::mouseClick(Bar(), Qt::LeftButton, {}, BarPoint(part));
    }
    QPoint BarPoint(QStyle::SubControl part) const {
        QScrollBar* bar = Bar();
        QStyleOptionSlider option;
        option.initFrom(bar);
        option.subControls = QStyle::SC_All;
        option.orientation = Qt::Vertical;
        option.minimum = bar->minimum();
        option.maximum = bar->maximum();
        option.sliderPosition = bar->sliderPosition();
        option.sliderValue = bar->value();
        option.singleStep = bar->singleStep();
        option.pageStep = bar->pageStep();
        return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, part, bar).center();
    }
    void Resize(int width, int height) const {
        Window().resize(width, height);
        EXPECT_TRUE(QTest::qWaitFor([&] { return Window().size() == QSize(width, height); }));
    }
    // Checks figures written as "Control.Property value, ...".
    void ExpectFigures(const QString& figures) const {
        for (const QString& figure : figures.split(u',', Qt::SkipEmptyParts)) {
            const QStringList parts = figure.simplified().split(u' ');
            const QStringList target = parts.value(0).split(u'.');
            EXPECT_EQ(Ctl(target.value(0)).Property(target.value(1)), parts.value(1)) << figure.toStdString();
        }
    }
    // Fills the link list with `rows` files through 来自文件.
    void Fill(int rows) {
        const QString page = folder.filePath(u"rows.html"_s);
        WriteFile(page, GeneratedFolderPage(rows));
        LoadSavedPage(page);
        ASSERT_EQ(Rows().LinkRowCount(), rows);
    }
    // How far the pane has been scrolled up, in pixels, and how far it can be.
    double Offset() const { return -Ctl(u"Picture_LinkList_In"_s).Top(); }
    double Hidden() const {
        return Ctl(u"Picture_LinkList_In"_s).Height() - Ctl(u"Picture_LinkList_Out"_s).ScaleHeight();
    }
    // Whether the widget lies wholly inside the frame's inner area.
    bool InSight(QWidget* widget) const {
        QWidget* frame = Ctl(u"Picture_LinkList_Out"_s).Widget();
        return widget && widget->isVisible() &&
               frame->contentsRect().contains(QRect(widget->mapTo(frame, QPoint(0, 0)), widget->size()));
    }
};

TEST_F(LayoutTest, DesignClientAreaGivesTheWorkedFigures) {
    Resize(842, 425);
    ExpectFigures(
        u"Command_ListUp.Left 814, Command_ListDown.Left 814, List_CodeList.Left 581,"
        u"Label_CodeList.Left 581, Label_CodeList.Width 233, Command_AddToList.Left 581,"
        u"Command_DelToList.Left 609, Text_AllLinkCode.Left 561, Label_AllLinkCode.Left 561,"
        u"Text_AllLinkCode.Height 248, Command_Exit.Left 761, Command_NewWindow.Left 656,"
        u"Command_Updata.Left 567, Command_Exit.Top 392, Command_NewWindow.Top 392,"
        u"Command_Updata.Top 392, Command_Get.Left 492, Command_GetFromFile.Left 492,"
        u"Command_GetFromURL.Left 395, Command_CreatLinkList.Left 492, Text_URL.Width 476,"
        u"Label_URL.Width 476, Text_CodeFormat.Width 476, Label_CodeFormat.Width 347,"
        u"Check_PublicLinks.Left 472, Check_SubFolders.Left 363, Check_SubFolders.Top 59,"
        u"Picture_LinkList_Out.Width 545, Label_LinkList.Width 545, Picture_LinkList_Out.Height 289,"
        u"Picture_LinkList_Out.ScaleHeight 287, VScroll_LinkList.Left 526, VScroll_LinkList.Height 287,"
        u"Picture_LinkList_In.Width 526, Picture_LinkList_In.Height 287, Picture_LinkList_In.Top 0,"
        u"VScroll_LinkList.Enabled False"_s);
    // The widgets show the figures.
    EXPECT_EQ(Ctl(u"Command_Exit"_s).Widget()->geometry(), QRect(761, 392, 73, 25));
    EXPECT_EQ(Ctl(u"Picture_LinkList_Out"_s).Widget()->geometry(), QRect(8, 128, 545, 289));
    EXPECT_EQ(Ctl(u"VScroll_LinkList"_s).Widget()->geometry(), QRect(526, 0, 17, 287));
}

TEST_F(LayoutTest, WideBottomButtonsATinyWindowAndTheRowDistance) {
    ASSERT_TRUE(RestartWith(u"<Soft><Config ListDistance=\"0\"/><Window><Form_Main><Command_NewWindow "
                            u"Width=\"110\" Height=\"30\"/></Form_Main></Window></Soft>"_s));
    Resize(842, 425);
    // The taller button fills the strip, the others stand centred in it (halves kept).
    ExpectFigures(u"Command_NewWindow.Left 635, Command_NewWindow.Top 387, Command_Exit.Top 389.5,"
                  u"Command_Updata.Left 546, Text_AllLinkCode.Height 243, Picture_LinkList_Out.Height 251"_s);
    EXPECT_EQ(Ctl(u"Command_Exit"_s).Widget()->y(), 390); // 389.5 to the even neighbour
    // A client area below the minimum holds sizes at zero; rows still fill, 61 high, ListDistance apart.
    Window().setMinimumSize(0, 0);
    Resize(120, 90);
    ExpectFigures(u"Text_AllLinkCode.Height 0, Picture_LinkList_Out.Height 0, Picture_LinkList_Out.Width 0,"
                  u"Text_URL.Width 0, Command_ListUp.Left 92, List_CodeList.Left -141"_s);
    Rows().CreateLinkRows(3);
    EXPECT_EQ(Rows().RowPitch(), 61);
    EXPECT_EQ(Rows().Label_Link(3).Top(), 8 + 2 * 61);
    EXPECT_TRUE(Rows().RowsWithWidgets().isEmpty());
}

TEST_F(LayoutTest, ScrollingMovesThePaneByTheHiddenPart) {
    Resize(842, 338); // a frame with an inner height of 200
    Rows().CreateLinkRows(5);
    // Max 32767; steps of a page of about 1000 d / (d + 1000) px and a tenth of it, d = 163 hidden.
    ExpectFigures(
        u"Picture_LinkList_In.Height 363, VScroll_LinkList.Enabled True, VScroll_LinkList.Max 32767,"
        u"VScroll_LinkList.LargeChange 28175, VScroll_LinkList.SmallChange 2817"_s);
    // On the screen: an arrow click scrolls 14 px, a groove click 140, two reach the last row.
    const Control& pane = Ctl(u"Picture_LinkList_In"_s);
    ClickBar(QStyle::SC_ScrollBarAddLine);
    EXPECT_NEAR(pane.Top(), -14, 0.5);
    Bar()->setValue(0);
    ClickBar(QStyle::SC_ScrollBarAddPage);
    EXPECT_NEAR(pane.Top(), -140, 0.5);
    ClickBar(QStyle::SC_ScrollBarAddPage);
    EXPECT_EQ(pane.Top(), -163);
    EXPECT_EQ(Rows().Label_LinkWarn(5).Top(), 52 + 4 * 71);
    EXPECT_EQ(Rows().Command_Link_AllValue(1).Left(), 526 - 25);
    EXPECT_EQ(Rows().Text_Link(1).Width(), 501);
    Bar()->setValue(16384);
    EXPECT_NEAR(pane.Top(), -81.5, 0.01);
    Bar()->setValue(32767);
    EXPECT_EQ(Rows().RowsWithWidgets().last(), 5);
    // A re-layout keeps the scroll position; rows that fit give a pane as high as the frame.
    Resize(900, 338);
    EXPECT_EQ(pane.Top(), -163);
    Rows().ClearLinkRows();
    Rows().CreateLinkRows(2);
    EXPECT_EQ(pane.Height(), 200);
    EXPECT_EQ(pane.Top(), 0);
    EXPECT_FALSE(Bar()->isEnabled());
    // Rows exactly as high as the frame do not scroll; one pixel more does.
    Resize(900, 359);
    Rows().CreateLinkRows(3); // 8 + 3 * 71
    EXPECT_EQ(pane.Height(), 221);
    EXPECT_FALSE(Bar()->isEnabled());
    Resize(900, 358);
    EXPECT_TRUE(Bar()->isEnabled());
    Bar()->setValue(32767);
    EXPECT_EQ(pane.Top(), -1);
}

TEST_F(LayoutTest, NegativeListDistanceMakesRowsOverlap) {
    const struct {
        int distance;
        int pitch;
        QList<int> shown; // rows with a part inside the pane
    } cases[] = {{-30, 31, {1, 2, 3}},
                 {-61, 0, {1, 2, 3}},
                 // A row is in sight while one pixel of it is (ends at 1 / -1 / 1 / 0).
                 {-95, -34, {1, 2, 3}},
                 {-96, -35, {1, 2}},
                 {-129, -68, {1, 2}},
                 {-130, -69, {1}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.distance);
        ASSERT_TRUE(RestartWith(u"<Soft><Config ListDistance=\"%1\"/></Soft>"_s.arg(c.distance)));
        LoadSavedPage(u"app_folder.html"_s);
        ASSERT_EQ(Rows().LinkRowCount(), 3);
        // Rows span 61 pixels (8 to 69) and start one pitch apart; nothing scrolls.
        EXPECT_EQ(Rows().RowPitch(), c.pitch);
        EXPECT_EQ(Rows().Label_Link(2).Top(), 8 + c.pitch);
        EXPECT_EQ(Rows().Text_Link(3).Top(), 24 + 2 * c.pitch);
        EXPECT_EQ(Ctl(u"Picture_LinkList_In"_s).Height(), Ctl(u"Picture_LinkList_Out"_s).ScaleHeight());
        EXPECT_FALSE(Ctl(u"VScroll_LinkList"_s).Enabled());
        EXPECT_EQ(Rows().RowsWithWidgets(), c.shown);
        auto* second = qobject_cast<QLineEdit*>(Rows().RowWidget(u"Text_Link"_s, 2));
        EXPECT_EQ(second ? second->text() : u"(none)"_s,
                  c.shown.contains(2) ? Rows().Text_Link(2).Text() : u"(none)"_s);
    }
}

// Tab goes line by line, each left to right, through the rows top to bottom, showing each
// (regression: it went up through the rows, and into rows outside the frame).
TEST_F(LayoutTest, TabFollowsTheLayoutAndShowsEachRow) {
    Activate(Window());
    QWidget* address = Ctl(u"Text_URL"_s).Widget();
    EXPECT_EQ(QApplication::focusWidget(), address); // the window opens ready for an address
    Fill(30);
    QStringList expected =
        u"Text_URL Check_SubFolders Check_PublicLinks Command_Get List_CodeList "
        u"Command_ListUp Command_ListDown Text_CodeFormat Command_CreatLinkList"_s.split(u' ');
    // A development build's test commands, where shown, stand on the line of + and -.
    for (const QString& test : {u"Command1"_s, u"Command2"_s, u"Command3"_s}) {
        if (Ctl(test).Visible()) {
            expected << test;
        }
    }
    expected << u"Command_AddToList"_s << u"Command_DelToList"_s;
    for (int row = 1; row <= 30; ++row) {
        expected << u"Text_Link_%1"_s.arg(row) << u"Command_Link_AllValue_%1"_s.arg(row);
    }
    expected << u"Text_AllLinkCode Command_Updata Command_NewWindow Command_Exit Command_GetFromURL "
                u"Command_GetFromFile"_s.split(u' ');
    for (const QSize size : {QSize(1100, 700), Window().size()}) {
        SCOPED_TRACE(size.width());
        Resize(size.width(), size.height());
        address->setFocus(Qt::MouseFocusReason);
        QStringList walked;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QWidget* focus = QApplication::focusWidget();
            walked << focus->objectName();
            EXPECT_TRUE(!focus->objectName().contains(u"_Link"_s) || InSight(focus))
                << walked.last().toStdString();
            QTest::keyClick(focus, Qt::Key_Tab);
        }
        EXPECT_EQ(QApplication::focusWidget(), address); // round again
        EXPECT_EQ(walked, expected);
    }
    // Back from the bottom with Shift+Tab, through row 1 and out upwards.
    Ctl(u"Text_AllLinkCode"_s).Widget()->setFocus(Qt::TabFocusReason);
    Bar()->setValue(Bar()->maximum());
    for (int stop = 0; stop < 60; ++stop) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    }
    ASSERT_EQ(QApplication::focusWidget(), Rows().RowWidget(u"Text_Link"_s, 1));
    EXPECT_TRUE(InSight(QApplication::focusWidget()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), Ctl(u"Command_DelToList"_s).Widget());
    // A click into a row cut by the frame's bottom edge brings the whole row into sight.
    Bar()->setValue(static_cast<int>(30 / Hidden() * 32767)); // 30 px down: row 5's text box is cut
    QWidget* text = Rows().RowWidget(u"Text_Link"_s, 5);
    ASSERT_FALSE(InSight(text));
    QTest::mouseClick(text, Qt::LeftButton, {}, QPoint(5, 2));
    EXPECT_EQ(QApplication::focusWidget(), text);
    EXPECT_TRUE(InSight(text));
}

// However long the list, the bar's steps stay a row or so; only rows in sight have widgets.
TEST_F(LayoutTest, TenThousandRowsScrollByTheBarsSteps) {
    Resize(842, 425); // a frame 287 pixels high inside
    Fill(10000);
    const double hidden = Hidden();
    ASSERT_EQ(hidden, 8 + 71 * 10000 - 287);
    EXPECT_EQ(Rows().RowsWithWidgets().first(), 1);
    EXPECT_LE(Rows().RowsWithWidgets().size(), 8);
    ClickBar(QStyle::SC_ScrollBarAddLine);
    const double arrow = Offset();
    // A wheel notch moves three lines of the bar anywhere over the list, nothing elsewhere.
    QWidget* frame = Ctl(u"Picture_LinkList_Out"_s).Widget();
    for (const QString& place : {u"Text_Link"_s, u"Label_Link"_s, u"Command_Link_AllValue"_s,
                                 u"Picture_LinkList_In"_s, u"frame"_s, u"bar"_s, u"Command_Get"_s}) {
        SCOPED_TRACE(place.toStdString());
        Bar()->setValue(0);
        QWidget* over = place == u"frame"          ? frame
                        : place == u"bar"          ? Bar()
                        : place.startsWith(u"Pic") ? frame->findChild<QWidget*>(place)
                        : place == u"Command_Get"  ? Ctl(place).Widget()
                                                   : Rows().RowWidget(place, 2);
        Wheel(over, -1);
        EXPECT_EQ(Bar()->value(), place == u"Command_Get" ? 0 : 3 * Bar()->singleStep());
    }
    Bar()->setValue(0);
    Wheel(Rows().RowWidget(u"Text_Link"_s, 2), -1);
    const double notch = Offset();
    Bar()->setValue(0);
    ClickBar(QStyle::SC_ScrollBarAddPage);
    const double pageClick = Offset();
    // An arrow click a little more than a row (71 px), a groove click some fourteen, a notch three arrows.
    EXPECT_GT(arrow, 71);
    EXPECT_LT(arrow, 2 * 71);
    EXPECT_GT(pageClick, 13 * 71);
    EXPECT_LT(pageClick, 15 * 71);
    EXPECT_NEAR(notch, 3 * arrow, 1e-6);
    // Dragging the handle to the bottom shows the last row whole.
    const QPoint handle = BarPoint(QStyle::SC_ScrollBarSlider);
    QTest::mousePress(Bar(), Qt::LeftButton, {}, handle);
    QTest::mouseMove(Bar(), QPoint(handle.x(), Bar()->height() + 50));
    QTest::mouseRelease(Bar(), Qt::LeftButton, {}, QPoint(handle.x(), Bar()->height() + 50));
    EXPECT_EQ(Offset(), hidden);
    EXPECT_LE(Rows().RowsWithWidgets().size(), 8);
    for (const QString& part : {u"Label_Link"_s, u"Text_Link"_s, u"Command_Link_AllValue"_s}) {
        EXPECT_TRUE(InSight(Rows().RowWidget(part, 10000))) << part.toStdString();
    }
    EXPECT_EQ(qobject_cast<QLabel*>(Rows().RowWidget(u"Label_Link"_s, 10000))->text(),
              u"10000. file10000.txt"_s);
    EXPECT_EQ(qobject_cast<QLineEdit*>(Rows().RowWidget(u"Text_Link"_s, 10000))->text(),
              u"<a href=\"http://127.0.0.1:8765/download?id=F.10000\">file10000.txt</a>"_s);
    EXPECT_TRUE(ViewRow(Window(), 10000).startsWith(u"fileIndex     10000\r\nid     F.10000\r\n"_s));
    // A smaller fill leaves no widget showing a row of the earlier one.
    Fill(2);
    EXPECT_EQ(Rows().RowsWithWidgets(), (QList<int>{1, 2}));
    int shown = 0;
    for (const QLabel* label : Window().findChildren<QLabel*>()) {
        shown += label->isVisibleTo(&Window()) && label->text().contains(u". file"_s);
    }
    EXPECT_EQ(shown, 2);
}

} // namespace
