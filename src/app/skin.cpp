#include "app/skin.h"

#include "app/surface.h"
#include "app/windowgeometry.h"
#include "settings/editxml.h"
#include "settings/pngpicture.h"
#include "text/placeholders.h"
#include "text/regexpfunctions.h"
#include "text/stringfunctions.h"

#include <QFileInfo>
#include <QImageReader>
#include <QWidget>
#include <cmath>

namespace zandorel::app {
namespace {

bool is(const QString& name, const char* property) {
    return name.compare(QLatin1StringView(property), Qt::CaseInsensitive) == 0;
}

pugi::xml_node firstElement(pugi::xml_node settings, const QString& path) {
    try {
        const pugi::xpath_node_set hits = settings.select_nodes(path.toStdString().c_str());
        for (const pugi::xpath_node& hit : hits) {
            if (hit.node().type() == pugi::node_element) {
                return hit.node();
            }
        }
    } catch (const pugi::xpath_exception&) {
    }
    return {};
}

// Only a regular file is opened as a picture: a FIFO or a device named in
// the settings would block the window or never end, and a folder holds no
// picture. Anything else counts as a picture that cannot be read.
bool isPictureFile(const QString& path) {
    return QFileInfo(path).isFile();
}

std::optional<QImage> loadPicture(const QString& path) {
    if (!isPictureFile(path)) {
        return std::nullopt;
    }
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    if (image.isNull()) {
        return std::nullopt;
    }
    return image;
}

// What an element's attributes are applied to: a control or a window.
class SkinTarget {
public:
    virtual ~SkinTarget() = default;
    virtual bool IsWindow() const = 0;
    // The platform type name; picture buttons are "CommandButtonEx".
    virtual QString TypeName() const = 0;
    // Sets a property by its settings name; false when the target has no
    // such property or the value does not convert.
    virtual bool SetProperty(const QString& name, const QString& value) = 0;
    // The loaded picture; an empty path clears it. False when unreadable.
    virtual bool SetPicture(const QString& path) = 0;
    // Where drawn pictures go; null for targets without a drawing surface.
    virtual DrawTarget* Drawing() = 0;
    virtual void Cls() = 0;
};

class ControlTarget : public SkinTarget, public DrawTarget {
public:
    explicit ControlTarget(Control& control) : control_(control) {}
    bool IsWindow() const override { return false; }
    QString TypeName() const override {
        switch (control_.Kind()) {
        case ControlKind::Label:
            return QStringLiteral("Label");
        case ControlKind::TextBox:
            return QStringLiteral("TextBox");
        case ControlKind::Button:
            return QStringLiteral("CommandButton");
        case ControlKind::ListBox:
            return QStringLiteral("ListBox");
        case ControlKind::PictureBox:
            return QStringLiteral("PictureBox");
        case ControlKind::VScrollBar:
            return QStringLiteral("VScrollBar");
        case ControlKind::Timer:
            return QStringLiteral("Timer");
        }
        return QString();
    }
    bool SetProperty(const QString& name, const QString& value) override {
        return control_.SetProperty(name, value);
    }
    bool SetPicture(const QString& path) override {
        if (!control_.HasSurface() && control_.Kind() != ControlKind::Button) {
            return false;
        }
        if (path.isEmpty()) {
            control_.SetPicture(QImage());
            return true;
        }
        const std::optional<QImage> image = loadPicture(path);
        if (!image) {
            return false;
        }
        control_.SetPicture(*image);
        return true;
    }
    DrawTarget* Drawing() override { return control_.HasSurface() ? this : nullptr; }
    void Cls() override { control_.Cls(); }

    // DrawTarget
    QImage& surface() override { return control_.Surface(); }
    int outerWidth() const override { return ToPixel(control_.Width()); }
    int outerHeight() const override { return ToPixel(control_.Height()); }
    void setOuterSize(int width, int height) override {
        control_.SetHeight(height);
        control_.SetWidth(width);
    }

private:
    Control& control_;
};

class WindowTarget : public SkinTarget, public DrawTarget {
public:
    explicit WindowTarget(QWidget& window) : window_(window) {}
    bool IsWindow() const override { return true; }
    QString TypeName() const override { return QStringLiteral("Form"); }

    bool SetProperty(const QString& name, const QString& value) override {
        bool ok = false;
        if (is(name, "Left") || is(name, "Top") || is(name, "Width") || is(name, "Height") ||
            is(name, "ScaleWidth") || is(name, "ScaleHeight") || is(name, "ScaleLeft") ||
            is(name, "ScaleTop")) {
            const double number = value.trimmed().toDouble(&ok);
            if (!ok || !std::isfinite(number) || std::abs(number) > 1e7) {
                return false;
            }
            const int pixels = static_cast<int>(Whole(number));
            if (is(name, "Left")) {
                window_.move(pixels, window_.y());
            } else if (is(name, "Top")) {
                window_.move(window_.x(), pixels);
            } else if (is(name, "Width")) {
                SetOuterSize(window_, pixels, std::nullopt);
            } else if (is(name, "Height")) {
                SetOuterSize(window_, std::nullopt, pixels);
            } else if (is(name, "ScaleWidth")) {
                window_.resize(std::max(1, pixels), window_.height());
            } else if (is(name, "ScaleHeight")) {
                window_.resize(window_.width(), std::max(1, pixels));
            } else if (is(name, "ScaleLeft")) {
                WindowSurface::Of(window_).SetScaleLeft(number);
            } else {
                WindowSurface::Of(window_).SetScaleTop(number);
            }
            return true;
        }
        if (is(name, "Caption")) {
            window_.setWindowTitle(value);
            return true;
        }
        if (is(name, "BackColor") || is(name, "ForeColor")) {
            const std::optional<QColor> color = ColorFromNumber(value.trimmed().toLongLong(&ok));
            if (!ok || !color) {
                return false;
            }
            QPalette palette = window_.palette();
            if (is(name, "BackColor")) {
                palette.setColor(QPalette::Window, *color);
                window_.setAutoFillBackground(true);
            } else {
                palette.setColor(QPalette::WindowText, *color);
            }
            window_.setPalette(palette);
            return true;
        }
        if (is(name, "Enabled")) {
            const std::optional<bool> flag = BoolFromText(value);
            if (flag) {
                window_.setEnabled(*flag);
            }
            return flag.has_value();
        }
        if (is(name, "ToolTipText")) {
            window_.setToolTip(value);
            return true;
        }
        if (is(name, "FontName") || is(name, "FontSize") || is(name, "FontBold") || is(name, "FontItalic") ||
            is(name, "FontUnderline") || is(name, "FontStrikethru")) {
            QFont font = window_.font();
            if (is(name, "FontName")) {
                font.setFamily(value);
            } else if (is(name, "FontSize")) {
                const double size = value.trimmed().toDouble(&ok);
                if (!ok || !(size > 0) || size > 1000) {
                    return false;
                }
                font.setPointSizeF(size);
            } else {
                const std::optional<bool> flag = BoolFromText(value);
                if (!flag) {
                    return false;
                }
                if (is(name, "FontBold")) {
                    font.setBold(*flag);
                } else if (is(name, "FontItalic")) {
                    font.setItalic(*flag);
                } else if (is(name, "FontUnderline")) {
                    font.setUnderline(*flag);
                } else {
                    font.setStrikeOut(*flag);
                }
            }
            window_.setFont(font);
            return true;
        }
        return false;
    }
    bool SetPicture(const QString& path) override {
        if (path.isEmpty()) {
            WindowSurface::Of(window_).SetPicture(QImage());
            return true;
        }
        const std::optional<QImage> image = loadPicture(path);
        if (image) {
            WindowSurface::Of(window_).SetPicture(*image);
        }
        return image.has_value();
    }
    DrawTarget* Drawing() override { return this; }
    void Cls() override { WindowSurface::Of(window_).Cls(); }

    // DrawTarget: the window measures itself in pixels, its outer size
    // including the frame.
    QImage& surface() override { return WindowSurface::Of(window_).Surface(); }
    int outerWidth() const override { return OuterSize(window_).width(); }
    int outerHeight() const override { return OuterSize(window_).height(); }
    void setOuterSize(int width, int height) override { SetOuterSize(window_, width, height); }

private:
    QWidget& window_;
};

int32_t drawingParameter(pugi::xml_node settings, const QString& path, const char* name, int32_t maximum) {
    return ReadAttribute(settings, path, QString::fromLatin1(name), QStringLiteral("0"), 0, maximum).toInt();
}

void applyAttribute(pugi::xml_node settings, const QString& path, SkinTarget& target, const QString& name,
                    const QString& value) {
    // 1: geometry, digits only.
    if (RegTest(name,
                QStringLiteral(
                    "^Width$|^Height$|^Left$|^Top$|^ScaleWidth$|^ScaleHeight$|^ScaleLeft$|^ScaleTop$"))) {
        if (const std::optional<int> figure = GeometryFigure(value)) {
            target.SetProperty(name, QString::number(*figure));
        }
        return;
    }
    // 2: colours, written red first; the platform number has red low.
    if (RegTest(name, QStringLiteral("Color$"))) {
        int32_t number = 0;
        try {
            number = HexToLong(value);
        } catch (const OverflowError&) {
            target.SetProperty(name, value); // takes effect only if it reads as a number
            return;
        }
        target.SetProperty(name, SwapRedBlue(QString::number(number)));
        return;
    }
    // 3: a picture loaded from a file.
    if (RegTest(name, QStringLiteral("^Picture$"))) {
        target.SetPicture(ExpandPath(value));
        return;
    }
    // 4: a picture drawn on the target's surface.
    if (RegTest(name, QStringLiteral("^PicURL$"))) {
        if (RegTest(target.TypeName(), QStringLiteral("^CommandButtonEx$"))) {
            target.SetProperty(name, value);
            target.SetProperty(QStringLiteral("PicbX"),
                               QString::number(drawingParameter(settings, path, "PicX", 2147483647)));
            target.SetProperty(QStringLiteral("PicbY"),
                               QString::number(drawingParameter(settings, path, "PicY", 2147483647)));
            return;
        }
        DrawTarget* drawing = target.Drawing();
        if (!drawing) {
            return;
        }
        const QString file = ExpandPath(value);
        DrawParameters p;
        p.style = drawingParameter(settings, path, "PicDrawStyle", 4);
        p.x = drawingParameter(settings, path, "PicX", 2147483647);
        p.y = drawingParameter(settings, path, "PicY", 2147483647);
        p.width = drawingParameter(settings, path, "PicWidth", 2147483647);
        p.height = drawingParameter(settings, path, "PicHeight", 2147483647);
        p.xAlign = drawingParameter(settings, path, "PicxAlign", 2);
        p.yAlign = drawingParameter(settings, path, "PicyAlign", 2);
        p.top = drawingParameter(settings, path, "PicTop", 2147483647);
        p.right = drawingParameter(settings, path, "PicRight", 2147483647);
        p.bottom = drawingParameter(settings, path, "PicButtom", 2147483647);
        p.left = drawingParameter(settings, path, "PicLeft", 2147483647);
        target.Cls();
        if (isPictureFile(file)) {
            DrawPng(file, *drawing, p);
        }
        return;
    }
    // 5: the style of a picture button; for anything else the PicURL rule
    // reads it.
    if (RegTest(name, QStringLiteral("^PicDrawStyle$"))) {
        if (RegTest(target.TypeName(), QStringLiteral("^CommandButtonEx$"))) {
            target.SetProperty(name, value);
        }
        return;
    }
    // 6: texts, with %s(...) filled.
    if (RegTest(name, QStringLiteral("^Caption$|^Text$"))) {
        target.SetProperty(name, ExpandAppTags(value));
        return;
    }
    // 7: any other property, converted from its text.
    target.SetProperty(name, value);
}

void applyNode(pugi::xml_node settings, const QString& path, SkinTarget& target) {
    const pugi::xml_node element = firstElement(settings, path);
    if (!element) {
        return;
    }
    for (const pugi::xml_attribute& attribute : element.attributes()) {
        // A failing attribute is skipped; the ones after it still apply.
        try {
            applyAttribute(settings, path, target, QString::fromUtf8(attribute.name()),
                           QString::fromUtf8(attribute.value()));
        } catch (const std::exception&) {
        }
    }
}

} // namespace

std::optional<int> GeometryFigure(const QString& text) {
    const QString digits = RegExtract(text, QStringLiteral("\\d"), QString());
    bool ok = false;
    const int figure = digits.toInt(&ok);
    if (!ok) {
        return std::nullopt;
    }
    return figure;
}

void ApplyWindowSkinNode(pugi::xml_node settings, const QString& path, QWidget& window) {
    WindowTarget target(window);
    applyNode(settings, path, target);
}

void ApplySkinNode(pugi::xml_node settings, const QString& path, Control& control) {
    ControlTarget target(control);
    applyNode(settings, path, target);
}

void SkinWindow(SkinnedWindow& window) {
    const pugi::xml_node settings = SettingsStore::Instance().Root();
    const QString windowPath = QStringLiteral("/Soft/Window/") + window.WindowName();
    if (QWidget* widget = window.WindowWidget()) {
        ApplyWindowSkinNode(settings, windowPath, *widget);
    }
    for (Control* control : window.Controls()) {
        const QString controlPath = windowPath + u'/' + control->Name();
        ApplySkinNode(settings, controlPath, *control);
        if (window.IsControlArray(control->Name()) && control->InGroup()) {
            ApplySkinNode(settings,
                          controlPath + QStringLiteral("/Index_") + QString::number(control->Index()),
                          *control);
        }
    }
}

} // namespace zandorel::app
