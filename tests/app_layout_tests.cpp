// The main window's layout and the scrolled link list: the worked figures of
// the design size, the row pitch, the scroll bar's steps at any list size,
// the wheel over the list, and Tab through the rows.

#include "app_support.h"
#include "settings/keys.h"
#include "share/sdpage.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <functional>

using namespace zandorel;
using namespace zandorel::app;
using namespace apptest;

namespace {

class LayoutTest : public AppTest {
protected:
    // A point of the bar's part: its arrows, its groove, its handle.
    static QPoint BarPoint(QScrollBar* bar, QStyle::SubControl part) {
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
    // Resizes the window and waits until the window has the size.
    static void Resize(MainWindow& window, int width, int height) {
        window.resize(width, height);
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.size() == QSize(width, height); }));
    }
    // Checks figures written as "Control.Property value, ...".
    static void ExpectFigures(const MainWindow& window, const QString& figures) {
        for (const QString& figure : figures.split(u',', Qt::SkipEmptyParts)) {
            const QStringList parts = figure.simplified().split(u' ');
            const QStringList target = parts.value(0).split(u'.');
            EXPECT_EQ(window.Ctl(target.value(0)).Property(target.value(1)), parts.value(1))
                << figure.toStdString();
        }
    }
};

TEST_F(LayoutTest, DesignClientAreaGivesTheWorkedFigures) {
    MainWindow& window = Window();
    Resize(window, 842, 425);
    ExpectFigures(
        window,
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
    EXPECT_EQ(window.Ctl(u"Command_Exit"_s).Widget()->geometry(), QRect(761, 392, 73, 25));
    EXPECT_EQ(window.Ctl(u"Picture_LinkList_Out"_s).Widget()->geometry(), QRect(8, 128, 545, 289));
    EXPECT_EQ(window.Ctl(u"VScroll_LinkList"_s).Widget()->geometry(), QRect(526, 0, 17, 287));
}

TEST_F(LayoutTest, WideBottomButtonsATinyWindowAndTheRowDistance) {
    WriteSettings(u"<Soft><Config ListDistance=\"0\"/><Window><Form_Main><Command_NewWindow Width=\"110\" "
                  u"Height=\"30\"/></Form_Main></Window></Soft>"_s);
    ASSERT_TRUE(Restart());
    MainWindow& window = Window();
    Resize(window, 842, 425);
    // The taller button fills the strip, the others stand centred in it (halves kept).
    ExpectFigures(window,
                  u"Command_NewWindow.Left 635, Command_NewWindow.Top 387, Command_Exit.Top 389.5,"
                  u"Command_Updata.Left 546, Text_AllLinkCode.Height 243, Picture_LinkList_Out.Height 251"_s);
    EXPECT_EQ(window.Ctl(u"Command_Exit"_s).Widget()->y(), 390); // 389.5 to the even neighbour

    // A client area smaller than the window allows (a skin's, say) holds sizes
    // at zero, and a listing in it still fills, its rows 61 high and
    // ListDistance apart.
    window.setMinimumSize(0, 0);
    Resize(window, 120, 90);
    ExpectFigures(window,
                  u"Text_AllLinkCode.Height 0, Picture_LinkList_Out.Height 0, Picture_LinkList_Out.Width 0,"
                  u"Text_URL.Width 0, Command_ListUp.Left 92, List_CodeList.Left -141"_s);
    window.LinkList().CreateLinkRows(3);
    EXPECT_EQ(window.LinkList().RowPitch(), 61);
    EXPECT_EQ(window.LinkList().Label_Link(3).Top(), 8 + 2 * 61);
    EXPECT_TRUE(window.LinkList().RowsWithWidgets().isEmpty());
}

TEST_F(LayoutTest, ScrollingMovesThePaneByTheHiddenPart) {
    MainWindow& window = Window();
    Resize(window, 842, 338); // a frame with an inner height of 200
    ASSERT_EQ(window.Ctl(u"Picture_LinkList_Out"_s).ScaleHeight(), 200);
    window.LinkList().CreateLinkRows(5);
    // The bar's fixed Max is 32767; its steps are a page of about 1000 d / (d + 1000)
    // pixels and a line of a tenth of that, d = 163 being the part that does not fit.
    ExpectFigures(
        window, u"Picture_LinkList_In.Height 363, VScroll_LinkList.Enabled True, VScroll_LinkList.Max 32767,"
                u"VScroll_LinkList.LargeChange 28175, VScroll_LinkList.SmallChange 2817"_s);
    // On the screen: a click on the bar's arrow scrolls the rows 14 pixels, a
    // click in its groove 140, and two groove clicks reach the last row.
    const Control& pane = window.Ctl(u"Picture_LinkList_In"_s);
    auto* bar = qobject_cast<QScrollBar*>(window.Ctl(u"VScroll_LinkList"_s).Widget());
    QTest::mouseClick(bar, Qt::LeftButton, {}, BarPoint(bar, QStyle::SC_ScrollBarAddLine));
    EXPECT_NEAR(pane.Top(), -14, 0.5);
    bar->setValue(0);
    QTest::mouseClick(bar, Qt::LeftButton, {}, BarPoint(bar, QStyle::SC_ScrollBarAddPage));
    EXPECT_NEAR(pane.Top(), -140, 0.5);
    QTest::mouseClick(bar, Qt::LeftButton, {}, BarPoint(bar, QStyle::SC_ScrollBarAddPage));
    EXPECT_EQ(pane.Top(), -163);
    EXPECT_EQ(window.LinkList().Label_Link(2).Top(), 79);
    EXPECT_EQ(window.LinkList().Text_Link(2).Top(), 95);
    EXPECT_EQ(window.LinkList().Label_LinkWarn(5).Top(), 52 + 4 * 71);
    EXPECT_EQ(window.LinkList().Command_Link_AllValue(1).Left(), 526 - 25);
    EXPECT_EQ(window.LinkList().Text_Link(1).Width(), 501);

    bar->setValue(16384);
    EXPECT_NEAR(pane.Top(), -81.5, 0.01);
    bar->setValue(32767);
    EXPECT_EQ(pane.Top(), -163);
    EXPECT_EQ(window.LinkList().RowsWithWidgets().last(), 5);

    // A re-layout keeps the scroll position; rows that fit give a pane as high as the frame.
    Resize(window, 900, 338);
    EXPECT_EQ(bar->value(), 32767);
    EXPECT_EQ(pane.Top(), -163);
    window.LinkList().ClearLinkRows();
    window.LinkList().CreateLinkRows(2);
    EXPECT_EQ(pane.Height(), 200);
    EXPECT_EQ(pane.Top(), 0);
    EXPECT_FALSE(bar->isEnabled());

    // Rows exactly as high as the frame do not scroll; one pixel more does.
    Resize(window, 900, 359);
    ASSERT_EQ(window.Ctl(u"Picture_LinkList_Out"_s).ScaleHeight(), 221);
    window.LinkList().CreateLinkRows(3); // 8 + 3 * 71
    EXPECT_EQ(pane.Height(), 221);
    EXPECT_FALSE(bar->isEnabled());
    Resize(window, 900, 358);
    EXPECT_EQ(pane.Height(), 221);
    EXPECT_TRUE(bar->isEnabled());
    bar->setValue(32767);
    EXPECT_EQ(pane.Top(), -1);
}

TEST_F(LayoutTest, NegativeListDistanceMakesRowsOverlap) {
    const struct {
        int distance;
        int pitch;
        QList<int> shown; // rows with a part inside the pane
    } cases[] = {{-30, 31, {1, 2, 3}},
                 {-61, 0, {1, 2, 3}},
                 {-100, -39, {1, 2}},
                 // A row is in sight while one pixel of it is: row 3 ends at 1 and at
                 // -1, row 2 at 1 and exactly at the pane's top.
                 {-95, -34, {1, 2, 3}},
                 {-96, -35, {1, 2}},
                 {-129, -68, {1, 2}},
                 {-130, -69, {1}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.distance);
        WriteSettings(u"<Soft><Config ListDistance=\"%1\"/></Soft>"_s.arg(c.distance));
        ASSERT_TRUE(Restart());
        MainWindow& window = Window();
        LoadSavedPage(u"app_folder.html"_s);
        ASSERT_EQ(window.LinkList().LinkRowCount(), 3);
        // Rows span 61 pixels (8 to 69) and start one pitch apart, so they overlap.
        EXPECT_EQ(window.LinkList().RowPitch(), c.pitch);
        EXPECT_EQ(window.LinkList().Label_Link(2).Top(), 8 + c.pitch);
        EXPECT_EQ(window.LinkList().Text_Link(3).Top(), 24 + 2 * c.pitch);
        EXPECT_LT(window.LinkList().Label_Link(2).Top(), window.LinkList().Label_LinkWarn(1).Top() + 17);
        // The pane is no higher than the frame, so nothing scrolls; rows that
        // climb above the pane's top cannot be seen.
        EXPECT_EQ(Ctl(u"Picture_LinkList_In"_s).Height(), Ctl(u"Picture_LinkList_Out"_s).ScaleHeight());
        EXPECT_FALSE(Ctl(u"VScroll_LinkList"_s).Enabled());
        EXPECT_EQ(window.LinkList().RowsWithWidgets(), c.shown);
        auto* second = qobject_cast<QLineEdit*>(window.LinkList().RowWidget(u"Text_Link"_s, 2));
        if (!c.shown.contains(2)) {
            EXPECT_EQ(second, nullptr);
            continue;
        }
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(second->text(), window.LinkList().Text_Link(2).Text());
    }
}

class ScrollTest : public LayoutTest {
protected:
    // Fills the window's link list with `rows` files through the buttons.
    void Fill(int rows) {
        const QString page = folder.filePath(u"rows.html"_s);
        WriteFile(page, GeneratedFolderPage(rows));
        dialogs.answerOpenFile(page);
        Press(u"Command_GetFromFile"_s);
        ASSERT_EQ(Window().LinkList().LinkRowCount(), rows);
    }
    QScrollBar* Bar() const { return qobject_cast<QScrollBar*>(Ctl(u"VScroll_LinkList"_s).Widget()); }
    // How far the pane has been scrolled up, in pixels, and how far it can be.
    double Offset() const { return -Ctl(u"Picture_LinkList_In"_s).Top(); }
    double Hidden() const {
        return Ctl(u"Picture_LinkList_In"_s).Height() - Ctl(u"Picture_LinkList_Out"_s).ScaleHeight();
    }
    // Whether the widget lies wholly inside the frame's inner area.
    bool InSight(QWidget* widget) const {
        QWidget* frame = Ctl(u"Picture_LinkList_Out"_s).Widget();
        const QRect inner = frame->contentsRect();
        return widget && widget->isVisible() &&
               inner.contains(QRect(widget->mapTo(frame, QPoint(0, 0)), widget->size()));
    }
    QPoint BarPoint(QStyle::SubControl part) const { return LayoutTest::BarPoint(Bar(), part); }
};

TEST_F(ScrollTest, TheWheelScrollsAnywhereOverTheList) {
    MainWindow& window = Window();
    Fill(40);
    QScrollBar* bar = Bar();
    ASSERT_TRUE(bar->isEnabled());
    // One notch moves three lines of the bar, as it does over the bar itself.
    const int notch = 3 * bar->singleStep();
    const struct {
        const char* name;
        std::function<QWidget*()> widget;
    } places[] = {
        {"the bar", [&] { return static_cast<QWidget*>(bar); }},
        {"a link text",
         [&] { return window.LinkList().RowWidget(u"Text_Link"_s, window.LinkList().RowsWithWidgets()[1]); }},
        {"a \"?\" button",
         [&] {
             return window.LinkList().RowWidget(u"Command_Link_AllValue"_s,
                                                window.LinkList().RowsWithWidgets()[1]);
         }},
        {"a caption",
         [&] {
             return window.LinkList().RowWidget(u"Label_Link"_s, window.LinkList().RowsWithWidgets()[1]);
         }},
        {"the pane",
         [&] {
             return Ctl(u"Picture_LinkList_Out"_s).Widget()->findChild<QWidget*>(u"Picture_LinkList_In"_s);
         }},
        {"the frame", [&] { return Ctl(u"Picture_LinkList_Out"_s).Widget(); }},
    };
    for (const auto& place : places) {
        SCOPED_TRACE(place.name);
        bar->setValue(0);
        Wheel(place.widget(), -1);
        EXPECT_EQ(bar->value(), notch);
        EXPECT_NEAR(Offset(), notch * Hidden() / 32767.0, 1e-6);
        Wheel(place.widget(), 1);
        EXPECT_EQ(bar->value(), 0);
    }
    // Elsewhere in the window the wheel leaves the list alone.
    Wheel(Ctl(u"Command_Get"_s).Widget(), -1);
    EXPECT_EQ(bar->value(), 0);
}

// Regression: Tab went through the widgets of the rows in sight from the
// last row up, and into the rows just outside the frame, which cannot be seen.
TEST_F(ScrollTest, TabVisitsTheRowsTopToBottomAndShowsEach) {
    MainWindow& window = Window();
    Activate(window);
    Fill(30);
    // The rows stand where their frame stands in the tab order: after the
    // buttons under the template list, before the combined block beside them.
    QWidget* before = Ctl(u"Command_DelToList"_s).Widget();
    before->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(before, Qt::Key_Tab);
    for (int row = 1; row <= 30; ++row) {
        for (const QString& part : {u"Text_Link"_s, u"Command_Link_AllValue"_s}) {
            SCOPED_TRACE((part + u' ' + QString::number(row)).toStdString());
            QWidget* focus = QApplication::focusWidget();
            ASSERT_EQ(focus, window.LinkList().RowWidget(part, row));
            EXPECT_TRUE(InSight(focus));
            QTest::keyClick(focus, Qt::Key_Tab);
        }
    }
    // After the last row, on along the window's tab order.
    const Control& after = Ctl(u"Text_AllLinkCode"_s);
    EXPECT_EQ(QApplication::focusWidget(), after.Widget());
    // Back from the top: Shift+Tab from row 1 leaves the rows upwards.
    Bar()->setValue(Bar()->maximum());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), window.LinkList().RowWidget(u"Command_Link_AllValue"_s, 30));
    for (int stop = 0; stop < 59; ++stop) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    }
    ASSERT_EQ(QApplication::focusWidget(), window.LinkList().RowWidget(u"Text_Link"_s, 1));
    EXPECT_TRUE(InSight(QApplication::focusWidget()));
    EXPECT_LE(Offset(), window.LinkList().Label_Link(1).Top());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(QApplication::focusWidget(), before);

    // A click into a row cut by the frame's bottom edge brings the whole row into sight.
    Bar()->setValue(static_cast<int>(30 / Hidden() * 32767)); // 30 px down: row 5's text box is cut
    QWidget* text = window.LinkList().RowWidget(u"Text_Link"_s, 5);
    ASSERT_NE(text, nullptr);
    ASSERT_FALSE(InSight(text));
    QTest::mouseClick(text, Qt::LeftButton, {}, QPoint(5, 2));
    EXPECT_EQ(QApplication::focusWidget(), text);
    EXPECT_TRUE(InSight(text));
}

// Tab goes through the controls as they stand: line by line from the top,
// each line from left to right, the link rows where their frame is; Shift+Tab
// goes back the same way.
TEST_F(LayoutTest, TheCheckBoxesOverlapNothingAtAnySize) {
    MainWindow& window = Window();
    for (const QSize size : {window.minimumSize(), QSize(842, 425), QSize(1100, 700)}) {
        SCOPED_TRACE(size.width());
        Resize(window, size.width(), size.height());
        for (const QString& name : {u"Check_SubFolders"_s, u"Check_PublicLinks"_s}) {
            const QWidget* box = Ctl(name).Widget();
            ASSERT_TRUE(box->isVisible());
            EXPECT_TRUE(window.rect().contains(box->geometry())) << name.toStdString();
            for (const Control* other : window.Controls()) {
                const QWidget* widget = other->Widget();
                if (other->Name() == name || !widget || widget->parentWidget() != &window ||
                    !widget->isVisible()) {
                    continue;
                }
                EXPECT_FALSE(box->geometry().intersects(widget->geometry()))
                    << name.toStdString() << " meets " << other->Name().toStdString();
            }
        }
    }
}

TEST_F(LayoutTest, TabFollowsTheLayout) {
    MainWindow& window = Window();
    Activate(window);
    // The window opens ready for an address.
    QWidget* address = Ctl(u"Text_URL"_s).Widget();
    EXPECT_EQ(QApplication::focusWidget(), address);
    LoadSavedPage(u"app_folder.html"_s);
    ASSERT_EQ(window.LinkList().LinkRowCount(), 3);

    QStringList expected{u"Text_URL"_s,         u"Check_SubFolders"_s, u"Check_PublicLinks"_s,
                         u"Command_Get"_s,      u"List_CodeList"_s,    u"Command_ListUp"_s,
                         u"Command_ListDown"_s, u"Text_CodeFormat"_s,  u"Command_CreatLinkList"_s};
    // The test commands, where shown, stand on the line of + and -.
    for (const QString& test : {u"Command1"_s, u"Command2"_s, u"Command3"_s}) {
        if (Ctl(test).Visible()) {
            expected << test;
        }
    }
    expected << u"Command_AddToList"_s << u"Command_DelToList"_s;
    for (int row = 1; row <= 3; ++row) {
        expected << u"Text_Link_%1"_s.arg(row) << u"Command_Link_AllValue_%1"_s.arg(row);
    }
    expected << u"Text_AllLinkCode"_s << u"Command_Updata"_s << u"Command_NewWindow"_s << u"Command_Exit"_s
             << u"Command_GetFromURL"_s << u"Command_GetFromFile"_s;

    for (const QSize size : {QSize(842, 425), QSize(1100, 700)}) {
        SCOPED_TRACE(size.width());
        Resize(window, size.width(), size.height());
        address->setFocus(Qt::MouseFocusReason);
        QStringList walked;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            walked << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        EXPECT_EQ(walked.join(u' '), expected.join(u' '));
        EXPECT_EQ(QApplication::focusWidget(), address); // round again
        QStringList back;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            back.prepend(QApplication::focusWidget()->objectName());
        }
        EXPECT_EQ(back.join(u' '), expected.join(u' '));
    }
}

// The figures in the closing note of the scrolling work come from here.
TEST_F(ScrollTest, TenThousandRowsScrollByTheBarsSteps) {
    MainWindow& window = Window();
    Resize(window, 842, 425); // a frame 287 pixels high inside
    Fill(10000);
    QScrollBar* bar = Bar();
    const double hidden = Hidden();
    ASSERT_EQ(hidden, 8 + 71 * 10000 - 287);

    QTest::mouseClick(bar, Qt::LeftButton, {}, BarPoint(QStyle::SC_ScrollBarAddLine));
    const double arrow = Offset();
    bar->setValue(0);
    Wheel(window.LinkList().RowWidget(u"Text_Link"_s, 2), -1);
    const double notch = Offset();
    bar->setValue(0);
    QTest::mouseClick(bar, Qt::LeftButton, {}, BarPoint(QStyle::SC_ScrollBarAddPage));
    const double pageClick = Offset();
    std::printf("10000 rows (%g px hidden): arrow click %.1f px, wheel notch %.1f px, page click %.1f px\n",
                hidden, arrow, notch, pageClick);

    // However long the list, an arrow click moves it a little more than one
    // row (71 pixels apart) and a groove click some fourteen rows, about
    // a thousand pixels; a wheel notch is three arrow clicks.
    EXPECT_GT(arrow, 71);
    EXPECT_LT(arrow, 2 * 71);
    EXPECT_GT(pageClick, 13 * 71);
    EXPECT_LT(pageClick, 15 * 71);
    EXPECT_NEAR(notch, 3 * arrow, 1e-6);

    // Dragging the handle to the bottom shows the last row whole.
    const QPoint handle = BarPoint(QStyle::SC_ScrollBarSlider);
    QTest::mousePress(bar, Qt::LeftButton, {}, handle);
    QTest::mouseMove(bar, QPoint(handle.x(), bar->height() + 50));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(handle.x(), bar->height() + 50));
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(Offset(), hidden);
    for (const QString& part : {u"Label_Link"_s, u"Text_Link"_s, u"Command_Link_AllValue"_s}) {
        EXPECT_TRUE(InSight(window.LinkList().RowWidget(part, 10000))) << part.toStdString();
    }
    EXPECT_EQ(qobject_cast<QLabel*>(window.LinkList().RowWidget(u"Label_Link"_s, 10000))->text(),
              u"10000. file10000.txt"_s);
}

} // namespace
