#include "app/skin.h"

#include "settings/editxml.h"
#include "text/placeholders.h"
#include "text/regexpfunctions.h"

#include <QEvent>
#include <QWidget>

namespace zandorel::app {
namespace {

bool is(const QString& name, const char* property) {
    return name.compare(QLatin1StringView(property), Qt::CaseInsensitive) == 0;
}

bool isGeometry(const QString& name) {
    return is(name, "Left") || is(name, "Top") || is(name, "Width") || is(name, "Height");
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

// Until the window system has framed a new window its outer size equals its
// inner size; the wanted outer width and height are applied again once the
// frame is known.
class OuterSizeKeeper : public QObject {
public:
    explicit OuterSizeKeeper(QWidget& window) : QObject(&window), window_(window) {
        window.installEventFilter(this);
    }

    void want(std::optional<int> width, std::optional<int> height) {
        width_ = width ? width : width_;
        height_ = height ? height : height_;
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (watched == &window_ && window_.isVisible() &&
            (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show)) {
            const QSize frame = window_.frameGeometry().size() - window_.size();
            if (!frame.isNull()) {
                window_.removeEventFilter(this);
                window_.resize(QSize(width_ ? *width_ - frame.width() : window_.width(),
                                     height_ ? *height_ - frame.height() : window_.height())
                                   .expandedTo(QSize(1, 1)));
                deleteLater();
            } else if (++seen_ > 20) {
                window_.removeEventFilter(this); // no frame is coming
                deleteLater();
            }
        }
        return false;
    }

private:
    QWidget& window_;
    std::optional<int> width_;
    std::optional<int> height_;
    int seen_ = 0;
};

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

void SetOuterSize(QWidget& window, std::optional<int> width, std::optional<int> height) {
    const QSize frame = window.frameGeometry().size() - window.size();
    window.resize(QSize(width ? *width - frame.width() : window.width(),
                        height ? *height - frame.height() : window.height())
                      .expandedTo(QSize(1, 1)));
    if (!frame.isNull()) {
        return;
    }
    for (QObject* child : window.children()) {
        if (auto* keeper = dynamic_cast<OuterSizeKeeper*>(child)) {
            keeper->want(width, height);
            return;
        }
    }
    (new OuterSizeKeeper(window))->want(width, height);
}

void ApplyWindowSkinNode(pugi::xml_node settings, const QString& path, QWidget& window) {
    const pugi::xml_node element = firstElement(settings, path);
    if (!element) {
        return;
    }
    for (const pugi::xml_attribute& attribute : element.attributes()) {
        const QString name = QString::fromUtf8(attribute.name());
        const QString value = QString::fromUtf8(attribute.value());
        if (isGeometry(name)) {
            const std::optional<int> figure = GeometryFigure(value);
            if (!figure) {
                continue;
            }
            if (is(name, "Width")) {
                SetOuterSize(window, *figure, std::nullopt);
            } else if (is(name, "Height")) {
                SetOuterSize(window, std::nullopt, *figure);
            } else if (is(name, "Left")) {
                window.move(*figure, window.y());
            } else {
                window.move(window.x(), *figure);
            }
        } else if (is(name, "Caption")) {
            window.setWindowTitle(ExpandAppTags(value));
        }
    }
}

void ApplySkinNode(pugi::xml_node settings, const QString& path, Control& control) {
    const pugi::xml_node element = firstElement(settings, path);
    if (!element) {
        return;
    }
    for (const pugi::xml_attribute& attribute : element.attributes()) {
        const QString name = QString::fromUtf8(attribute.name());
        const QString value = QString::fromUtf8(attribute.value());
        if (isGeometry(name)) {
            if (const std::optional<int> figure = GeometryFigure(value)) {
                control.SetProperty(name, QString::number(*figure));
            }
        } else if (is(name, "Caption") || is(name, "Text")) {
            // A label has no Text and a text box no Caption: skipped.
            control.SetProperty(name, ExpandAppTags(value));
        }
    }
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
