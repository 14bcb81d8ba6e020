// Properties by the settings' names: taken or refused whole, and what the widget shows.

#include "app/skin.h"
#include "app/surface.h"
#include "app/windowgeometry.h"
#include "app_support.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>

using namespace apptest;

namespace {

using K = ControlKind;

TEST(Control, PropertiesByNameAreTakenOrRefusedWhole) {
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
        {K::Button, u"Visible"_s, u"0.5"_s, true, u"Visible"_s, u"True"_s},
        {K::Button, u"Enabled"_s, u"maybe"_s, false, u"Enabled"_s, u"True"_s},
        {K::Label, u"ForeColor"_s, u"255"_s, true, u"ForeColor"_s, u"255"_s},
        {K::Label, u"BackColor"_s, u"16777216"_s, false, u"BackColor"_s, u"(none)"_s},
        {K::Label, u"BackColor"_s, u"16777215"_s, true, u"BackColor"_s, u"16777215"_s},
        {K::Label, u"BackColor"_s, u"0"_s, true, u"BackColor"_s, u"0"_s},
        {K::Label, u"BackColor"_s, u"-1"_s, false, u"BackColor"_s, u"(none)"_s},
        {K::Label, u"FontSize"_s, u"0"_s, false, u"Caption"_s, u"start"_s},
        {K::VScrollBar, u"Value"_s, u"32768"_s, true, u"Value"_s, u"32767"_s},
        {K::VScrollBar, u"Value"_s, u"32767"_s, true, u"Value"_s, u"32767"_s},
        {K::VScrollBar, u"Value"_s, u"-1"_s, true, u"Value"_s, u"0"_s},
        {K::VScrollBar, u"SmallChange"_s, u"x"_s, false, u"SmallChange"_s, u"1"_s},
        {K::Timer, u"Interval"_s, u"-1"_s, true, u"Interval"_s, u"0"_s},
        {K::Timer, u"Left"_s, u"5"_s, false, u"Left"_s, u"(none)"_s},
        {K::PictureBox, u"ScaleWidth"_s, u"100"_s, true, u"Width"_s, u"102"_s},
        {K::PictureBox, u"BorderStyle"_s, u"0"_s, true, u"ScaleWidth"_s, u"10"_s},
        {K::Button, u"BorderStyle"_s, u"0"_s, false, u"BorderStyle"_s, u"(none)"_s},
        // Name, Index and TabIndex are read, never set.
        {K::Label, u"Name"_s, u"9"_s, false, u"NAME"_s, u"Test"_s},
        {K::Label, u"Index"_s, u"9"_s, false, u"index"_s, u"(none)"_s},
        {K::Timer, u"TabIndex"_s, u"9"_s, false, u"TabIndex"_s, u"(none)"_s},
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
    // A member of a control group has its index, and a tab index once given.
    Control member(K::Label, u"Label_Link"_s, 3);
    member.SetTabIndex(4);
    EXPECT_EQ(member.Property(u"Index"_s), u"3"_s);
    EXPECT_EQ(member.Property(u"TabIndex"_s), u"4"_s);
}

pugi::xml_document Settings(const QString& attributes) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(
        (u"<Soft><Window><W "_s + attributes + u"/></Window></Soft>"_s).toUtf8().constData()));
    return doc;
}

QString Flag(bool value) {
    return value ? u"yes"_s : u"no"_s;
}

QString FontShown(const QFont& f) {
    return f.family() + QString::number(f.pointSizeF()) + Flag(f.bold()) + Flag(f.italic()) +
           Flag(f.underline()) + Flag(f.strikeOut());
}

using Shown = std::function<QString(QObject*)>;
QWidget& W(QObject* o) {
    return *qobject_cast<QWidget*>(o);
}
const Shown x = [](QObject* o) { return QString::number(W(o).x()); };
const Shown y = [](QObject* o) { return QString::number(W(o).y()); };
const Shown height = [](QObject* o) { return QString::number(W(o).height()); };
const Shown text = [](QObject* o) {
    auto* label = qobject_cast<QLabel*>(o);
    auto* button = qobject_cast<QAbstractButton*>(o);
    return label ? label->text() : button ? button->text() : qobject_cast<QLineEdit*>(o)->text();
};
const Shown shown = [](QObject* o) { return Flag(!W(o).isHidden()) + Flag(W(o).isEnabled()); };
const Shown tip = [](QObject* o) { return W(o).toolTip(); };
const Shown fore = [](QObject* o) { return W(o).palette().color(QPalette::WindowText).name(); };
const Shown back = [](QObject* o) { return W(o).palette().color(QPalette::Window).name(); };
const Shown font = [](QObject* o) { return FontShown(W(o).font()); };
const Shown frame = [](QObject* o) {
    auto* line = qobject_cast<QLineEdit*>(o);
    return Flag(line ? line->hasFrame() : qobject_cast<QFrame*>(o)->frameShape() != QFrame::NoFrame);
};
const Shown bar = [](QObject* o) {
    auto* s = qobject_cast<QScrollBar*>(o);
    return u"%1..%2 at %3 by %4/%5"_s.arg(s->minimum())
        .arg(s->maximum())
        .arg(s->value())
        .arg(s->pageStep())
        .arg(s->singleStep());
};
const Shown ticked = [](QObject* o) { return Flag(qobject_cast<QCheckBox*>(o)->isChecked()); };
const Shown timer = [](QObject* o) {
    auto* t = qobject_cast<QTimer*>(o);
    return QString::number(t->interval()) + (t->isActive() ? u" running"_s : u" stopped"_s);
};

QObject* WidgetFor(K kind, QWidget* parent) {
    switch (kind) {
    case K::Label:
        return new QLabel(parent);
    case K::TextBox:
        return new QLineEdit(parent);
    case K::Button:
        return new QPushButton(parent);
    case K::ListBox:
        return new QListWidget(parent);
    case K::PictureBox:
        return new QFrame(parent);
    case K::VScrollBar:
        return new QScrollBar(Qt::Vertical, parent);
    case K::Timer:
        return new QTimer(parent);
    case K::CheckBox:
        return new QCheckBox(parent);
    }
    return nullptr;
}

TEST(Properties, SkinAttributesShowOnEveryKindOfControl) {
    // Every control starts at (1, 2) sized 30 x 20 with the text "start";
    // picture boxes have a one-pixel border, timers run every 100 ms.
    const struct {
        K kind;
        const char* attributes;
        const Shown& what;
        QString expected;
    } cases[] = {
        // Geometry keeps the digits; halves round to the even neighbour.
        {K::Label, R"(LEFT="-8" top="7")", x, u"8"_s},
        {K::Label, R"(Top="7.5")", y, u"75"_s},
        {K::ListBox, R"(Height="abc")", height, u"20"_s},
        {K::PictureBox, R"(BorderStyle="0" ScaleHeight="50")", height, u"50"_s},
        // Texts: the ones a kind has, with %s(...) filled.
        {K::Label, R"(Caption="%s(AppTitle) 地址")", text, u"Zandorel 地址"_s},
        {K::Button, R"(caption="Go" Text="no")", text, u"Go"_s},
        {K::TextBox, R"(TEXT="typed" Caption="no")", text, u"typed"_s},
        {K::Label, R"(Text="no" Interval="5" Bogus="1" Name="x")", text, u"start"_s},
        // A check box is ticked by 1 and cleared by 0; nothing else changes it.
        {K::CheckBox, R"(Value="1")", ticked, u"yes"_s},
        {K::CheckBox, R"(Value="1" Value="0")", ticked, u"no"_s},
        {K::CheckBox, R"(Value="2")", ticked, u"no"_s},
        {K::CheckBox, R"(Value="True")", ticked, u"no"_s},
        // Flags.
        {K::Label, R"(Visible="False")", shown, u"noyes"_s},
        {K::Button, R"(Enabled="false")", shown, u"yesno"_s},
        {K::Timer, R"(Enabled="False")", timer, u"100 stopped"_s},
        // Colours are written red first, in any of the usual forms.
        {K::Label, R"(ForeColor="FF0000")", fore, u"#ff0000"_s},
        {K::Label, R"(ForeColor="0xFF0000")", fore, u"#ff0000"_s},
        {K::Label, R"(forecolor="&amp;HFF0000")", fore, u"#ff0000"_s},
        {K::Label, R"(ForeColor="xff0000")", fore, u"#ff0000"_s},
        {K::ListBox, R"(backcolor="#00ff00")", back, u"#00ff00"_s},
        {K::Button, R"(ForeColor="zz")", fore, u"#000000"_s},
        {K::Label, R"(ForeColor="00FF00" ForeColor="123456789")", fore, u"#00ff00"_s},
        {K::VScrollBar, R"(tooltiptext="drag")", tip, u"drag"_s},
        {K::TextBox,
         R"(FontName="Serif" FontSize="14" FontSize="0" FontSize="x" FontBold="True" FontItalic="1" )"
         R"(FontUnderline="yes" FontStrikethru="-1")",
         font, u"Serif14yesyesnoyes"_s},
        // Borders: labels, text boxes and picture boxes have one.
        {K::Label, R"(BorderStyle="1")", frame, u"yes"_s},
        {K::TextBox, R"(BorderStyle="0")", frame, u"no"_s},
        {K::PictureBox, R"(BorderStyle="2")", frame, u"yes"_s},
        // Scroll bars: the value stays inside the range.
        {K::VScrollBar, R"(Max="1e3" Value="40000" LargeChange="7" SmallChange="3")", bar,
         u"0..1000 at 1000 by 7/3"_s},
        {K::VScrollBar, R"(Min="10" Max="5" Value="x")", bar, u"10..10 at 10 by 1/1"_s},
        // Timers, below 0 reads as 0 and stops.
        {K::Timer, R"(Interval="50")", timer, u"50 running"_s},
        {K::Timer, R"(Interval="-5")", timer, u"0 stopped"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attributes);
        Control control(c.kind, u"C"_s);
        control.SetGeometry(1, 2, 30, 20);
        control.SetText(u"start"_s);
        control.SetInterval(100);
        if (c.kind == K::PictureBox) {
            control.SetBorderWidth(1);
        }
        QWidget parent; // positions are the parent's, as in a window
        std::unique_ptr<QObject> widget(WidgetFor(c.kind, &parent));
        control.Bind(widget.get());
        ApplySkinNode(Settings(QString::fromUtf8(c.attributes)), u"/Soft/Window/W"_s, control);
        EXPECT_EQ(c.what(widget.get()), c.expected);
        control.Unbind();
    }
}

TEST(Properties, SkinAttributesShowOnTheWindow) {
    const struct {
        const char* attributes;
        std::function<QString(QWidget&)> what;
        QString expected;
    } cases[] = {
        // The window's size is its outer size, frame included; its place keeps the digits.
        {R"(Left="30" top="-40" Width="400" Height="250.5")",
         [](QWidget& w) {
             return u"%1,%2 %3x%4"_s.arg(w.x())
                 .arg(w.y())
                 .arg(OuterSize(w).width())
                 .arg(OuterSize(w).height());
         },
         u"30,40 400x2505"_s},
        {R"(Width="99999999" ScaleHeight="120")",
         [](QWidget& w) { return u"%1x%2"_s.arg(w.width()).arg(w.height()); }, u"300x120"_s},
        {R"(ScaleLeft="5" ScaleTop="6")",
         [](QWidget& w) {
             const QPointF o = WindowSurface::Of(w).ScaleOrigin();
             return u"%1,%2"_s.arg(o.x()).arg(o.y());
         },
         u"5,6"_s},
        {R"(Enabled="False" Visible="True" ToolTipText="tip" FontName="Serif" FontSize="14" FontSize="5000")",
         [](QWidget& w) {
             return Flag(w.isEnabled()) + Flag(w.isHidden()) + w.toolTip() + FontShown(w.font());
         },
         u"noyestipSerif14nononono"_s},
        // Control-only properties are not the window's.
        {R"(Interval="5" Value="3" BorderStyle="0" Name="x")", [](QWidget& w) { return w.windowTitle(); },
         u"start"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attributes);
        QWidget window;
        window.setGeometry(100, 100, 300, 200);
        window.setWindowTitle(u"start"_s);
        ApplyWindowSkinNode(Settings(QString::fromUtf8(c.attributes)), u"/Soft/Window/W"_s, window);
        EXPECT_EQ(c.what(window), c.expected);
    }
}

} // namespace
