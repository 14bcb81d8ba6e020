// Recorder (not a test): applies every property name, in three letter cases
// and many values, to every control kind (bare and bound) and to a window, by
// SetProperty and by skinning, and dumps everything visible afterwards to the
// file named by PROPERTY_RECORD.

#include "app/control.h"
#include "app/skin.h"
#include "app/surface.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextStream>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

using namespace zandorel::app;

namespace {

const char* kNames[] = {
    "Left",     "Top",      "Width",       "Height",      "ScaleWidth",    "ScaleHeight",    "ScaleLeft",
    "ScaleTop", "Caption",  "Text",        "Visible",     "Enabled",       "ForeColor",      "BackColor",
    "FontName", "FontSize", "FontBold",    "FontItalic",  "FontUnderline", "FontStrikethru", "Value",
    "Min",      "Max",      "LargeChange", "SmallChange", "Interval",      "ToolTipText",    "BorderStyle",
    "Name",     "Index",    "TabIndex",    "Picture",     "PicURL",        "PicDrawStyle",   "PicX",
    "PicbX",    "Bogus",    "MyColor"};

QStringList values(const QString& png) {
    return {QStringLiteral("12"),
            QStringLiteral("12.5"),
            QStringLiteral("-8"),
            QStringLiteral("0"),
            QStringLiteral("1"),
            QStringLiteral("abc"),
            QString(),
            QStringLiteral("True"),
            QStringLiteral("false"),
            QStringLiteral("1e3"),
            QStringLiteral("40000"),
            QStringLiteral("inf"),
            QStringLiteral("nan"),
            QStringLiteral("FF0000"),
            QStringLiteral("#00ff00"),
            QStringLiteral("255"),
            QStringLiteral("16777216"),
            QStringLiteral("-2147483633"),
            QStringLiteral(" 7 "),
            QStringLiteral("2000"),
            QStringLiteral("1e8"),
            QStringLiteral("%s(AppTitle) x"),
            QStringLiteral("中文"),
            QStringLiteral("123456789012"),
            QStringLiteral("2.5"),
            png};
}

QString opt(const std::optional<QString>& v) {
    return v ? u'[' + *v + u']' : QStringLiteral("(none)");
}

QString color(const std::optional<QColor>& c) {
    return c ? c->name() : QStringLiteral("-");
}

QString ob(const std::optional<bool>& b) {
    return b ? (*b ? QStringLiteral("1") : QStringLiteral("0")) : QStringLiteral("-");
}

QString imageHash(const QImage& image) {
    if (image.isNull()) {
        return QStringLiteral("null");
    }
    QImage i = image.convertToFormat(QImage::Format_ARGB32);
    QByteArray bytes(reinterpret_cast<const char*>(i.constBits()), i.sizeInBytes());
    return QStringLiteral("%1x%2:").arg(i.width()).arg(i.height()) +
           QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().left(8));
}

void dumpWidget(QTextStream& out, QObject* object) {
    if (auto* timer = qobject_cast<QTimer*>(object)) {
        out << " timer " << timer->interval() << ' ' << timer->isActive() << '\n';
        return;
    }
    auto* w = qobject_cast<QWidget*>(object);
    if (!w) {
        return;
    }
    out << " w geo " << w->geometry().x() << ',' << w->geometry().y() << ',' << w->geometry().width() << ','
        << w->geometry().height() << " hidden " << w->isHidden() << " en " << w->isEnabled() << " tip ["
        << w->toolTip() << "] fill " << w->autoFillBackground() << " pal "
        << w->palette().color(QPalette::WindowText).name() << w->palette().color(QPalette::Window).name()
        << w->palette().color(QPalette::Text).name() << w->palette().color(QPalette::Base).name() << " font "
        << w->font().toString() << '\n';
    if (auto* l = qobject_cast<QLabel*>(w)) {
        out << " label [" << l->text() << "] frame " << l->frameStyle() << '\n';
    } else if (auto* b = qobject_cast<QPushButton*>(w)) {
        out << " button [" << b->text() << "] icon " << b->icon().isNull() << '\n';
    } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
        out << " line [" << e->text() << "] frame " << e->hasFrame() << '\n';
    } else if (auto* p = qobject_cast<QPlainTextEdit*>(w)) {
        out << " plain [" << p->toPlainText() << "] frame " << p->frameStyle() << '\n';
    } else if (auto* s = qobject_cast<QScrollBar*>(w)) {
        out << " bar " << s->minimum() << ' ' << s->maximum() << ' ' << s->value() << ' ' << s->pageStep()
            << ' ' << s->singleStep() << '\n';
    } else if (auto* f = qobject_cast<QFrame*>(w)) {
        out << " frame " << f->frameStyle() << ' ' << f->lineWidth() << '\n';
    }
}

void dumpControl(QTextStream& out, const Control& c) {
    for (const char* name : kNames) {
        out << ' ' << name << '=' << opt(c.Property(QString::fromLatin1(name)));
    }
    out << '\n';
    const auto& f = c.Font();
    out << " state " << c.Left() << ',' << c.Top() << ',' << c.Width() << ',' << c.Height() << " scale "
        << c.ScaleWidth() << ',' << c.ScaleHeight() << ',' << c.ScaleLeft() << ',' << c.ScaleTop()
        << " text [" << c.Text() << "] vis " << c.Visible() << " en " << c.Enabled() << " col "
        << color(c.ForeColor()) << color(c.BackColor()) << " font "
        << (f.name ? *f.name : QStringLiteral("-")) << ','
        << (f.size ? QString::number(*f.size) : QStringLiteral("-")) << ',' << ob(f.bold) << ob(f.italic)
        << ob(f.underline) << ob(f.strikeOut) << " scroll " << c.Value() << ',' << c.Min() << ',' << c.Max()
        << ',' << c.LargeChange() << ',' << c.SmallChange() << " int " << c.Interval() << " tip ["
        << c.ToolTipText() << "] border " << c.BorderStyle() << ',' << c.BorderWidth() << " pic "
        << imageHash(c.Picture()) << " surf " << imageHash(c.SurfaceImage()) << '\n';
    dumpWidget(out, c.Object());
}

void dumpWindow(QTextStream& out, QWidget& w) {
    dumpWidget(out, &w);
    WindowSurface& s = WindowSurface::Of(w);
    out << " window pos " << w.x() << ',' << w.y() << " size " << w.width() << ',' << w.height() << " title ["
        << w.windowTitle() << "] scale " << s.ScaleOrigin().x() << ',' << s.ScaleOrigin().y() << " pic "
        << imageHash(s.Picture()) << '\n';
}

struct Kind {
    ControlKind kind;
    const char* label;
    std::function<QObject*()> make;
};

std::vector<Kind> kinds() {
    return {
        {ControlKind::Label, "Label", [] { return new QLabel; }},
        {ControlKind::TextBox, "TextBox", [] { return new QLineEdit; }},
        {ControlKind::TextBox, "TextBoxPlain", [] { return new QPlainTextEdit; }},
        {ControlKind::Button, "Button", [] { return new QPushButton; }},
        {ControlKind::ListBox, "ListBox", [] { return new QListWidget; }},
        {ControlKind::PictureBox, "PictureBox", [] { return new QFrame; }},
        {ControlKind::VScrollBar, "VScrollBar", [] { return new QScrollBar(Qt::Vertical); }},
        {ControlKind::Timer, "Timer", [] { return new QTimer; }},
    };
}

QStringList cases(const char* name) {
    const QString n = QString::fromLatin1(name);
    return {n, n.toLower(), n.toUpper()};
}

std::unique_ptr<Control> fresh(const Kind& k, int index) {
    auto c = std::make_unique<Control>(k.kind, QStringLiteral("Ctl"), index);
    c->SetGeometry(1, 2, 30, 20);
    c->SetText(QStringLiteral("start"));
    if (k.kind == ControlKind::PictureBox) {
        c->SetBorderWidth(1);
    }
    return c;
}

TEST(PropertyRecord, Dump) {
    const QByteArray target = qgetenv("PROPERTY_RECORD");
    if (target.isEmpty()) {
        GTEST_SKIP();
    }
    QDir().mkpath(QStringLiteral("/tmp/i21p-record"));
    QImage png(7, 5, QImage::Format_ARGB32);
    png.fill(Qt::red);
    const QString pngPath = QStringLiteral("/tmp/i21p-record/p.png");
    ASSERT_TRUE(png.save(pngPath));
    QFile file(QString::fromLocal8Bit(target));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QTextStream out(&file);
    const QStringList vals = values(pngPath);

    for (const Kind& k : kinds()) {
        for (int bound = 0; bound < 2; ++bound) {
            for (const char* name : kNames) {
                for (const QString& n : cases(name)) {
                    for (const QString& v : vals) {
                        auto c = fresh(k, bound ? 0 : -1);
                        std::unique_ptr<QObject> object(bound ? k.make() : nullptr);
                        if (object) {
                            c->Bind(object.get(), QPoint(3, 4));
                        }
                        out << "SET " << k.label << ' ' << bound << ' ' << n << " [" << v << "] -> "
                            << c->SetProperty(n, v) << '\n';
                        dumpControl(out, *c);
                        // The same through skinning.
                        auto s = fresh(k, bound ? 0 : -1);
                        std::unique_ptr<QObject> sobject(bound ? k.make() : nullptr);
                        if (sobject) {
                            s->Bind(sobject.get(), QPoint(3, 4));
                        }
                        pugi::xml_document doc;
                        doc.append_child("Soft").append_child("Window").append_child("W").append_attribute(
                            n.toUtf8().constData()) = v.toUtf8().constData();
                        ApplySkinNode(doc, QStringLiteral("/Soft/Window/W"), *s);
                        out << "SKIN " << k.label << ' ' << bound << ' ' << n << " [" << v << "]\n";
                        dumpControl(out, *s);
                    }
                }
            }
        }
    }
    // The window.
    for (const char* name : kNames) {
        for (const QString& n : cases(name)) {
            for (const QString& v : vals) {
                QWidget window;
                window.setGeometry(100, 100, 300, 200);
                window.setWindowTitle(QStringLiteral("start"));
                pugi::xml_document doc;
                doc.append_child("Soft").append_child("Window").append_child("W").append_attribute(
                    n.toUtf8().constData()) = v.toUtf8().constData();
                ApplyWindowSkinNode(doc, QStringLiteral("/Soft/Window/W"), window);
                out << "WINDOW " << n << " [" << v << "]\n";
                dumpWindow(out, window);
            }
        }
    }
    // Elements of several attributes: order, drawing parameters, pictures.
    const QString multi[] = {
        QStringLiteral("PicURL=%1 PicDrawStyle=1 PicX=2"),
        QStringLiteral("PicDrawStyle=2 PicxAlign=2 PicURL=%1"),
        QStringLiteral("PicDrawStyle=3 PicLeft=2 PicTop=2 PicRight=2 PicButtom=2 PicURL=%1"),
        QStringLiteral("PicDrawStyle=4 PicX=1 PicY=1 PicWidth=3 PicHeight=3 PicURL=%1"),
        QStringLiteral("PicDrawStyle=0 PicX=5 PicY=6 PicURL=%1 Width=50 Height=40"),
        QStringLiteral("Picture=%1 Picture=/no/such.png"),
        QStringLiteral("Picture=%1 Picture="),
        QStringLiteral("Text=x Caption=y Bogus=1 Width=5 width=6"),
        QStringLiteral("Min=10 Max=5 Value=3 LargeChange=4"),
        QStringLiteral("ScaleWidth=100 BorderStyle=0 ScaleHeight=50"),
        QStringLiteral("Interval=100 Enabled=False Enabled=True"),
        QStringLiteral("FontName=Serif FontSize=14 FontBold=1 FontItalic=true FontUnderline=1 "
                       "FontStrikethru=1 FontSize=5000"),
    };
    for (const QString& m : multi) {
        const QStringList attributes = m.arg(pngPath).split(u' ');
        auto fill = [&](pugi::xml_document& doc) {
            pugi::xml_node node = doc.append_child("Soft").append_child("Window").append_child("W");
            for (const QString& a : attributes) {
                const qsizetype eq = a.indexOf(u'=');
                node.append_attribute(a.left(eq).toUtf8().constData()) = a.mid(eq + 1).toUtf8().constData();
            }
        };
        for (const Kind& k : kinds()) {
            for (int bound = 0; bound < 2; ++bound) {
                auto s = fresh(k, 0);
                std::unique_ptr<QObject> sobject(bound ? k.make() : nullptr);
                if (sobject) {
                    s->Bind(sobject.get(), QPoint(3, 4));
                }
                pugi::xml_document doc;
                fill(doc);
                ApplySkinNode(doc, QStringLiteral("/Soft/Window/W"), *s);
                out << "MULTI " << k.label << ' ' << bound << ' ' << m << '\n';
                dumpControl(out, *s);
            }
        }
        QWidget window;
        window.setGeometry(100, 100, 300, 200);
        pugi::xml_document doc;
        fill(doc);
        ApplyWindowSkinNode(doc, QStringLiteral("/Soft/Window/W"), window);
        out << "MULTIWINDOW " << m << '\n';
        dumpWindow(out, window);
        out << " surface " << imageHash(WindowSurface::Of(window).Surface()) << '\n';
    }
}

} // namespace
