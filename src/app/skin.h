#pragma once
// Window skinning: a window and its controls take their settings from the
// window section of the settings document. The window node is
// "/Soft/Window/" + the window's name, a control's node is the window node +
// "/" + the control's name, and a member of a control group also reads the
// node "Index_" + its index below that; only the first element at a path
// counts. Each attribute names a property and is applied by the first rule
// its name matches, letter case ignored: geometry (digits only), colours
// (RRGGBB), Picture (a file loaded), PicURL (a PNG drawn in one of five
// styles), PicDrawStyle (picture buttons only), Caption and Text (%s(...)
// filled) and any other property by its text; the properties themselves
// are the rows of app/properties.h. Nothing here reports a failure: what cannot be applied is skipped, and
// the rest still applies.

#include "app/control.h"

#include <QList>
#include <QString>
#include <pugixml.hpp>

class QWidget;

namespace zandorel::app {

// A window that can be skinned.
class SkinnedWindow {
public:
    virtual ~SkinnedWindow() = default;
    // The name of the window's settings node below "/Soft/Window".
    virtual QString WindowName() const = 0;
    virtual QWidget* WindowWidget() = 0;
    // Every control in the window's design order.
    virtual QList<Control*> Controls() const = 0;
    // Whether the name denotes a control group of this window.
    virtual bool IsControlArray(const QString& name) const = 0;
};

void SkinWindow(SkinnedWindow& window);
// Applies one element's attributes to a control; nothing when the element is missing.
void ApplySkinNode(pugi::xml_node settings, const QString& path, Control& control);
// Applies one element's attributes to the window itself.
void ApplyWindowSkinNode(pugi::xml_node settings, const QString& path, QWidget& window);

// Digits of a geometry text joined in order ("-8" gives 8, "12.5" gives
// 125); none when the text holds no digit or too many.
std::optional<int> GeometryFigure(const QString& text);

} // namespace zandorel::app
