#include "app/skin.h"

#include "app/properties.h"
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

namespace zandorel::app {
namespace {

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
        case ControlKind::CheckBox:
            return QStringLiteral("CheckBox");
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
        return SetWindowProperty(window_, name, value);
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

// The drawing parameters of a drawn picture, read from the element being
// applied by their exact names.
const struct {
    const char* name;
    int32_t maximum;
    int32_t DrawParameters::*field;
} kDrawingParameters[] = {
    {"PicDrawStyle", 4, &DrawParameters::style},        {"PicX", 2147483647, &DrawParameters::x},
    {"PicY", 2147483647, &DrawParameters::y},           {"PicWidth", 2147483647, &DrawParameters::width},
    {"PicHeight", 2147483647, &DrawParameters::height}, {"PicxAlign", 2, &DrawParameters::xAlign},
    {"PicyAlign", 2, &DrawParameters::yAlign},          {"PicTop", 2147483647, &DrawParameters::top},
    {"PicRight", 2147483647, &DrawParameters::right},   {"PicButtom", 2147483647, &DrawParameters::bottom},
    {"PicLeft", 2147483647, &DrawParameters::left},
};

// One attribute being applied: its element's path, the target, its name and text.
struct Attribute {
    pugi::xml_node settings;
    const QString& path;
    SkinTarget& target;
    const QString& name;
    const QString& value;
};

bool isPictureButton(const SkinTarget& target) {
    return RegTest(target.TypeName(), QStringLiteral("^CommandButtonEx$"));
}

// Geometry keeps only the digits.
void applyGeometry(const Attribute& a) {
    if (const std::optional<int> figure = GeometryFigure(a.value)) {
        a.target.SetProperty(a.name, QString::number(*figure));
    }
}

// Colours are written red first; the platform number has red low.
void applyColour(const Attribute& a) {
    int32_t number = 0;
    try {
        number = HexToLong(a.value);
    } catch (const OverflowError&) {
        a.target.SetProperty(a.name, a.value); // takes effect only if it reads as a number
        return;
    }
    a.target.SetProperty(a.name, SwapRedBlue(QString::number(number)));
}

void applyPicture(const Attribute& a) {
    a.target.SetPicture(ExpandPath(a.value));
}

// A picture button takes the text and its offsets as they are; anything with
// a drawing surface has the picture drawn on it.
void applyPicUrl(const Attribute& a) {
    if (isPictureButton(a.target)) {
        a.target.SetProperty(a.name, a.value);
        a.target.SetProperty(QStringLiteral("PicbX"),
                             QString::number(drawingParameter(a.settings, a.path, "PicX", 2147483647)));
        a.target.SetProperty(QStringLiteral("PicbY"),
                             QString::number(drawingParameter(a.settings, a.path, "PicY", 2147483647)));
        return;
    }
    DrawTarget* drawing = a.target.Drawing();
    if (!drawing) {
        return;
    }
    const QString file = ExpandPath(a.value);
    DrawParameters parameters;
    for (const auto& parameter : kDrawingParameters) {
        parameters.*parameter.field = drawingParameter(a.settings, a.path, parameter.name, parameter.maximum);
    }
    a.target.Cls();
    if (isPictureFile(file)) {
        DrawPng(file, *drawing, parameters);
    }
}

// The style of a picture button; for anything else the PicURL rule reads it.
void applyPicDrawStyle(const Attribute& a) {
    if (isPictureButton(a.target)) {
        a.target.SetProperty(a.name, a.value);
    }
}

// Texts, with %s(...) filled.
void applyText(const Attribute& a) {
    a.target.SetProperty(a.name, ExpandAppTags(a.value));
}

// The rules in the order they are tried; the first whose pattern matches the
// attribute's name decides, and a name none matches sets the property of that
// name from its text as it stands.
const struct {
    const char* pattern;
    void (*apply)(const Attribute&);
} kRules[] = {
    {"^Width$|^Height$|^Left$|^Top$|^ScaleWidth$|^ScaleHeight$|^ScaleLeft$|^ScaleTop$", applyGeometry},
    {"Color$", applyColour},
    {"^Picture$", applyPicture},
    {"^PicURL$", applyPicUrl},
    {"^PicDrawStyle$", applyPicDrawStyle},
    {"^Caption$|^Text$", applyText},
};

void applyAttribute(const Attribute& attribute) {
    for (const auto& rule : kRules) {
        if (RegTest(attribute.name, QString::fromLatin1(rule.pattern))) {
            rule.apply(attribute);
            return;
        }
    }
    attribute.target.SetProperty(attribute.name, attribute.value);
}

void applyNode(pugi::xml_node settings, const QString& path, SkinTarget& target) {
    const pugi::xml_node element = firstElement(settings, path);
    if (!element) {
        return;
    }
    for (const pugi::xml_attribute& attribute : element.attributes()) {
        // A failing attribute is skipped; the ones after it still apply.
        try {
            const QString name = QString::fromUtf8(attribute.name());
            const QString value = QString::fromUtf8(attribute.value());
            applyAttribute({settings, path, target, name, value});
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
