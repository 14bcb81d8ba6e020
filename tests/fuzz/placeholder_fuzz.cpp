// Templates and join formats in, link texts out; the first line of the input
// is the template, the rest the entry object text.

#include "share/linklist.h"
#include "share/pipeline.h"
#include "share/sdpage.h"
#include "text/placeholders.h"
#include "text/regexpfunctions.h"

#include <QString>
#include <cstddef>
#include <cstdint>

using namespace zandorel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qsizetype cut = text.indexOf(u'\n');
    const QString tmpl = cut < 0 ? text : text.left(cut);
    const QString entry = cut < 0 ? QStringLiteral("\"name\":\"a\"") : text.mid(cut + 1);
    SDPage page;
    ListFolder(page, ListingSource::text(QStringLiteral("var primedResponse={\"children\":[{") + entry +
                                         QStringLiteral("}]};")));
    // The template as link format, caption and warning, joined by itself.
    LinkTemplates t{tmpl, tmpl, tmpl, tmpl, AppInfo::current()};
    try {
        (void)BuildLinkList(page, t);
    } catch (const OutputTooLong&) {
        // told to the user; nothing is shown
    }
    (void)ExpandAppTags(tmpl);
    (void)ExpandPath(tmpl);
    (void)ExpandJoinFormat(entry, tmpl);
    return 0;
}
