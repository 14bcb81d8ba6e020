#include "share/diagnostics.h"

#include "settings/editxml.h"
#include "settings/keys.h"
#include "text/placeholders.h"

namespace zandorel {

QString StepErrorText(pugi::xml_node settings, int step) {
    const QString text = step == 1 ? ReadNodeText(settings, keys::Step1Error, keys::Step1ErrorDefault)
                                   : ReadNodeText(settings, keys::Step2Error, keys::Step2ErrorDefault);
    return ExpandAppTags(text);
}

QString StepErrorTitle(int step) {
    return QStringLiteral("Step %1 Error").arg(step);
}

} // namespace zandorel
