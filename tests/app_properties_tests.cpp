// The property table seen from outside: a settings attribute on each kind of
// control and on a window, and what the widget then shows; names a holder
// does not have and values that do not convert leave it as it was.

#include "app/skin.h"
#include "app/surface.h"
#include "app/windowgeometry.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace zandorel::app;
using namespace Qt::StringLiterals;

namespace {

pugi::xml_document Settings(const QString& attributes) {
    pugi::xml_document doc;
    const QString text = u"<Soft><Window><W "_s + attributes + u"/></Window></Soft>"_s;
    EXPECT_TRUE(doc.load_string(text.toStdString().c_str()));
    return doc;
}

QObject* WidgetFor(ControlKind kind) {
    switch (kind) {
    case ControlKind::Label:
        return new QLabel;
    case ControlKind::TextBox:
        return new QLineEdit;
    case ControlKind::Button:
        return new QPushButton;
    case ControlKind::ListBox:
        return new QListWidget;
    case ControlKind::PictureBox:
        return new QFrame;
    case ControlKind::VScrollBar:
        return new QScrollBar(Qt::Vertical);
    case ControlKind::Timer:
        return new QTimer;
    case ControlKind::CheckBox:
        return new QCheckBox;
    }
    return nullptr;
}

QWidget& W(QObject* object) {
    return *qobject_cast<QWidget*>(object);
}

QString Flag(bool value) {
    return value ? u"yes"_s : u"no"_s;
}

using Shown = std::function<QString(QObject*)>;

const Shown x = [](QObject* o) { return QString::number(W(o).x()); };
const Shown y = [](QObject* o) { return QString::number(W(o).y()); };
const Shown width = [](QObject* o) { return QString::number(W(o).width()); };
const Shown height = [](QObject* o) { return QString::number(W(o).height()); };
const Shown text = [](QObject* o) {
    if (auto* label = qobject_cast<QLabel*>(o)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(o)) {
        return button->text();
    }
    return qobject_cast<QLineEdit*>(o)->text();
};
const Shown shown = [](QObject* o) { return Flag(!W(o).isHidden()); };
const Shown enabled = [](QObject* o) { return Flag(W(o).isEnabled()); };
const Shown tip = [](QObject* o) { return W(o).toolTip(); };
const Shown fore = [](QObject* o) { return W(o).palette().color(QPalette::WindowText).name(); };
const Shown back = [](QObject* o) { return W(o).palette().color(QPalette::Window).name(); };
const Shown family = [](QObject* o) { return W(o).font().family(); };
const Shown points = [](QObject* o) { return QString::number(W(o).font().pointSizeF()); };
const Shown style = [](QObject* o) {
    const QFont f = W(o).font();
    return Flag(f.bold()) + Flag(f.italic()) + Flag(f.underline()) + Flag(f.strikeOut());
};
const Shown frame = [](QObject* o) {
    if (auto* line = qobject_cast<QLineEdit*>(o)) {
        return Flag(line->hasFrame());
    }
    return Flag(qobject_cast<QFrame*>(o)->frameShape() != QFrame::NoFrame);
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

TEST(Properties, SkinAttributesShowOnEveryKindOfControl) {
    using K = ControlKind;
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
        {K::Button, R"(Width="12px")", width, u"12"_s},
        {K::ListBox, R"(Height="abc")", height, u"20"_s},
        {K::PictureBox, R"(ScaleWidth="100")", width, u"102"_s},
        {K::PictureBox, R"(BorderStyle="0" ScaleHeight="50")", height, u"50"_s},
        {K::Label, R"(ScaleWidth="100")", width, u"30"_s},
        {K::Timer, R"(Enabled="x")", timer, u"100 running"_s},
        // Texts: the ones a kind has, with %s(...) filled.
        {K::Label, R"(Caption="%s(AppTitle) 地址")", text, u"Zandorel 地址"_s},
        {K::Button, R"(caption="Go" Text="no")", text, u"Go"_s},
        {K::TextBox, R"(TEXT="typed" Caption="no")", text, u"typed"_s},
        {K::Label, R"(Text="no" Interval="5" Bogus="1" Name="x")", text, u"start"_s},
        {K::CheckBox, R"(Caption="包含子文件夹" Text="no")", text, u"包含子文件夹"_s},
        // A check box is ticked by 1 and cleared by 0; nothing else changes it.
        {K::CheckBox, R"(Value="1")", ticked, u"yes"_s},
        {K::CheckBox, R"(Value="1" Value="0")", ticked, u"no"_s},
        {K::CheckBox, R"(Value="1" Value="2")", ticked, u"yes"_s},
        {K::CheckBox, R"(Value="True")", ticked, u"no"_s},
        // Flags.
        {K::Label, R"(Visible="False")", shown, u"no"_s},
        {K::Button, R"(Visible="0.5")", shown, u"yes"_s},
        {K::Button, R"(Enabled="false")", enabled, u"no"_s},
        {K::TextBox, R"(Enabled="maybe")", enabled, u"yes"_s},
        {K::Timer, R"(Enabled="False")", timer, u"100 stopped"_s},
        // Colours are written red first, in any of the usual forms.
        {K::Label, R"(ForeColor="FF0000")", fore, u"#ff0000"_s},
        {K::Label, R"(ForeColor="0xFF0000")", fore, u"#ff0000"_s},
        {K::Label, R"(forecolor="&amp;HFF0000")", fore, u"#ff0000"_s},
        {K::Label, R"(ForeColor="xff0000")", fore, u"#ff0000"_s},
        {K::ListBox, R"(backcolor="#00ff00")", back, u"#00ff00"_s},
        {K::Button, R"(ForeColor="zz")", fore, u"#000000"_s},
        {K::Label, R"(ForeColor="00FF00" ForeColor="123456789")", fore, u"#00ff00"_s},
        // Tool tips, on the scroll bar too.
        {K::Label, R"(ToolTipText="paste here")", tip, u"paste here"_s},
        {K::VScrollBar, R"(tooltiptext="drag")", tip, u"drag"_s},
        // Fonts.
        {K::Label, R"(FontName="Serif")", family, u"Serif"_s},
        {K::Button, R"(FontSize="14" FontSize="0" FontSize="x")", points, u"14"_s},
        {K::TextBox, R"(FontBold="True" FontItalic="1" FontUnderline="yes" FontStrikethru="-1")", style,
         u"yesyesnoyes"_s},
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
        std::unique_ptr<QObject> widget(WidgetFor(c.kind));
        if (QWidget* shown = qobject_cast<QWidget*>(widget.get())) {
            shown->setParent(&parent);
        }
        control.Bind(widget.get());
        const pugi::xml_document settings = Settings(QString::fromUtf8(c.attributes));
        ApplySkinNode(settings, u"/Soft/Window/W"_s, control);
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
        // The window's size is its outer size, frame included.
        {R"(Left="30" top="-40")", [](QWidget& w) { return u"%1,%2"_s.arg(w.x()).arg(w.y()); }, u"30,40"_s},
        {R"(Width="400" Height="250.5")",
         [](QWidget& w) { return u"%1x%2"_s.arg(OuterSize(w).width()).arg(OuterSize(w).height()); },
         u"400x2505"_s},
        {R"(Width="99999999")", [](QWidget& w) { return QString::number(w.width()); }, u"300"_s},
        {R"(ScaleWidth="0" ScaleHeight="120")",
         [](QWidget& w) { return u"%1x%2"_s.arg(w.width()).arg(w.height()); }, u"1x120"_s},
        {R"(ScaleLeft="5" ScaleTop="6")",
         [](QWidget& w) {
             const QPointF o = WindowSurface::Of(w).ScaleOrigin();
             return u"%1,%2"_s.arg(o.x()).arg(o.y());
         },
         u"5,6"_s},
        {R"(Caption="%s(AppTitle) skinned" Text="no")", [](QWidget& w) { return w.windowTitle(); },
         u"Zandorel skinned"_s},
        {R"(BackColor="0000FF" ForeColor="00FF00")",
         [](QWidget& w) {
             return w.palette().color(QPalette::Window).name() +
                    w.palette().color(QPalette::WindowText).name() + Flag(w.autoFillBackground());
         },
         u"#0000ff#00ff00yes"_s},
        {R"(Enabled="False" Visible="True")",
         [](QWidget& w) { return Flag(w.isEnabled()) + Flag(w.isHidden()); }, u"noyes"_s},
        {R"(ToolTipText="the window")", [](QWidget& w) { return w.toolTip(); }, u"the window"_s},
        {R"(FontName="Serif" FontSize="14" FontSize="5000" FontBold="1" FontItalic="0" FontUnderline="1" )"
         R"(FontStrikethru="1")",
         [](QWidget& w) {
             const QFont f = w.font();
             return f.family() + QString::number(f.pointSizeF()) + Flag(f.bold()) + Flag(f.italic()) +
                    Flag(f.underline()) + Flag(f.strikeOut());
         },
         u"Serif14yesnoyesyes"_s},
        // Control-only properties are not the window's.
        {R"(Interval="5" Value="3" BorderStyle="0" Name="x")", [](QWidget& w) { return w.windowTitle(); },
         u"start"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attributes);
        QWidget window;
        window.setGeometry(100, 100, 300, 200);
        window.setWindowTitle(u"start"_s);
        const pugi::xml_document settings = Settings(QString::fromUtf8(c.attributes));
        ApplyWindowSkinNode(settings, u"/Soft/Window/W"_s, window);
        EXPECT_EQ(c.what(window), c.expected);
    }
}

// Name, Index and TabIndex are read, never set.
TEST(Properties, ReadOnlyProperties) {
    Control member(ControlKind::Label, u"Label_Link"_s, 3);
    member.SetTabIndex(4);
    Control single(ControlKind::Timer, u"Timer_Update"_s);
    for (const char* name : {"Name", "Index", "TabIndex"}) {
        EXPECT_FALSE(member.SetProperty(QString::fromLatin1(name), u"9"_s)) << name;
    }
    EXPECT_EQ(member.Property(u"NAME"_s), u"Label_Link"_s);
    EXPECT_EQ(member.Property(u"index"_s), u"3"_s);
    EXPECT_EQ(member.Property(u"TabIndex"_s), u"4"_s);
    EXPECT_EQ(single.Property(u"Name"_s), u"Timer_Update"_s);
    EXPECT_EQ(single.Property(u"Index"_s), std::nullopt);
    EXPECT_EQ(single.Property(u"TabIndex"_s), std::nullopt);
}

} // namespace
