// Controls by the property names the settings use: what each kind takes,
// what it refuses without changing anything, and what a bound widget shows.

#include "app/control.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

using namespace zandorel::app;
using namespace Qt::StringLiterals;

namespace {

TEST(Control, PropertiesByNameAreTakenOrRefusedWhole) {
    using K = ControlKind;
    const struct {
        K kind;
        QString name;
        QString value;
        bool taken;
        QString property; // read back under the name; the old value when refused
        QString shown;
    } cases[] = {
        {K::Label, u"left"_s, u"12.5"_s, true, u"Left"_s, u"12.5"_s},
        {K::Label, u"Width"_s, u"wide"_s, false, u"Width"_s, u"10"_s},
        {K::Label, u"CAPTION"_s, u"<b>x</b>"_s, true, u"Caption"_s, u"<b>x</b>"_s},
        {K::Label, u"Text"_s, u"no such property"_s, false, u"Caption"_s, u"start"_s},
        {K::TextBox, u"Caption"_s, u"no such property"_s, false, u"Text"_s, u"start"_s},
        {K::Button, u"Visible"_s, u"false"_s, true, u"Visible"_s, u"False"_s},
        {K::Button, u"Visible"_s, u"0.5"_s, true, u"Visible"_s, u"True"_s},
        {K::Button, u"Enabled"_s, u"maybe"_s, false, u"Enabled"_s, u"True"_s},
        {K::Label, u"ForeColor"_s, u"255"_s, true, u"ForeColor"_s, u"255"_s},
        {K::Label, u"BackColor"_s, u"-2147483633"_s, false, u"BackColor"_s, u"(none)"_s}, // a system colour
        {K::Label, u"BackColor"_s, u"16777216"_s, false, u"BackColor"_s, u"(none)"_s},
        {K::Label, u"BackColor"_s, u"16777215"_s, true, u"BackColor"_s, u"16777215"_s},
        {K::Label, u"BackColor"_s, u"0"_s, true, u"BackColor"_s, u"0"_s},
        {K::Label, u"BackColor"_s, u"-1"_s, false, u"BackColor"_s, u"(none)"_s},
        {K::Label, u"FontSize"_s, u"0"_s, false, u"Caption"_s, u"start"_s},
        {K::VScrollBar, u"Value"_s, u"40000"_s, true, u"Value"_s, u"32767"_s},
        {K::VScrollBar, u"Value"_s, u"32768"_s, true, u"Value"_s, u"32767"_s},
        {K::VScrollBar, u"Value"_s, u"32767"_s, true, u"Value"_s, u"32767"_s},
        {K::VScrollBar, u"Value"_s, u"0"_s, true, u"Value"_s, u"0"_s},
        {K::VScrollBar, u"Value"_s, u"-1"_s, true, u"Value"_s, u"0"_s},
        {K::VScrollBar, u"Max"_s, u"1e3"_s, true, u"Max"_s, u"1000"_s},
        {K::VScrollBar, u"SmallChange"_s, u"x"_s, false, u"SmallChange"_s, u"1"_s},
        {K::Timer, u"Interval"_s, u"-5"_s, true, u"Interval"_s, u"0"_s},
        {K::Timer, u"Interval"_s, u"-1"_s, true, u"Interval"_s, u"0"_s},
        {K::Timer, u"Interval"_s, u"1"_s, true, u"Interval"_s, u"1"_s},
        {K::Timer, u"Left"_s, u"5"_s, false, u"Left"_s, u"(none)"_s},
        {K::PictureBox, u"ScaleWidth"_s, u"100"_s, true, u"Width"_s, u"102"_s},
        {K::PictureBox, u"BorderStyle"_s, u"0"_s, true, u"ScaleWidth"_s, u"10"_s},
        {K::Button, u"BorderStyle"_s, u"0"_s, false, u"BorderStyle"_s, u"(none)"_s},
        {K::Label, u"Bogus"_s, u"1"_s, false, u"Bogus"_s, u"(none)"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE((c.name + u'=' + c.value).toStdString());
        Control control(c.kind, u"Test"_s);
        control.SetGeometry(0, 0, 10, 10);
        control.SetText(u"start"_s);
        if (c.kind == K::PictureBox) {
            control.SetBorderWidth(1);
        }
        EXPECT_EQ(control.SetProperty(c.name, c.value), c.taken);
        EXPECT_EQ(control.Property(c.property).value_or(u"(none)"_s), c.shown);
    }
}

TEST(Control, BoundWidgetsShowRoundedFiguresAndGroupMembersCopyTheirModel) {
    Control label(ControlKind::Label, u"Label_Link"_s, 0);
    label.SetGeometry(8.5, 9.5, 100.4, 17);
    label.SetCaption(u"1. a.txt"_s);
    label.SetForeColor(Qt::red);
    QLabel widget;
    label.Bind(&widget, QPoint(3, 4));
    // Halves go to the even neighbour, then the origin is added.
    EXPECT_EQ(widget.geometry(), QRect(3 + 8, 4 + 10, 100, 17));
    EXPECT_EQ(widget.text(), u"1. a.txt"_s);
    EXPECT_EQ(widget.palette().color(QPalette::WindowText), QColor(Qt::red));

    // A member made from the template: its properties, its own index, no widget.
    Control row(label, 7);
    EXPECT_EQ(row.Index(), 7);
    EXPECT_EQ(row.Widget(), nullptr);
    EXPECT_EQ(row.Caption(), u"1. a.txt"_s);
    EXPECT_EQ(row.Left(), 8.5);
    row.SetCaption(u"7. g.txt"_s);
    EXPECT_EQ(widget.text(), u"1. a.txt"_s);
    label.Unbind();

    // What the user types into a bound text box is the control's text.
    Control box(ControlKind::TextBox, u"Text_URL"_s);
    QLineEdit line;
    box.Bind(&line);
    QTest::keyClicks(&line, u"typed"_s);
    EXPECT_EQ(box.Text(), u"typed"_s);
    box.Unbind();

    // A scroll bar's value stays inside its range as the range changes.
    Control bar(ControlKind::VScrollBar, u"VScroll_LinkList"_s);
    QScrollBar scroll(Qt::Vertical);
    bar.Bind(&scroll);
    bar.SetValue(30000);
    bar.SetRange(0, 1000);
    EXPECT_EQ(bar.Value(), 1000);
    EXPECT_EQ(scroll.value(), 1000);
    bar.Unbind();
}

} // namespace
