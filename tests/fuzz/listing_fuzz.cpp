// Page text in, records and link texts out.

#include "share/linklist.h"
#include "share/pipeline.h"
#include "share/sdpage.h"

#include <QString>
#include <cstddef>
#include <cstdint>

using namespace zandorel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    SDPage page;
    // Bare listings get the statement around them, so the parser sees them.
    const Listing listing =
        ListFolder(page, ListingSource::text(text.contains(QStringLiteral("primedResponse"))
                                                 ? text
                                                 : QStringLiteral("var primedResponse={\"children\":[") +
                                                       text + QStringLiteral("]};")));
    // Dumps of failed extractions go to a scratch folder, not beside the fuzzer.
    WriteExtractionDump(listing,
                        DumpPlace{QStringLiteral("zandorel-fuzz_error.html"), {QStringLiteral("/tmp")}});
    LinkTemplates t;
    t.codeFormat = QStringLiteral("<a href=\"%t(urls.download)\">%t(name)%t(extension)</a>%s(AppTitle)");
    t.captionTemplate = QStringLiteral("%t(name)%t(extension)");
    t.warnTemplate = QStringLiteral("%t(sharingLevel)");
    t.joinFormat = QStringLiteral("$1\\r\\n");
    t.app = AppInfo::current();
    const LinkList list = BuildLinkList(page, t);
    for (int i = 1; i <= page.Files().Count() && i <= 4; ++i) {
        (void)PropertyViewerText(page, i);
        for (int k = 1; k <= page.Files().Item(i).Values().Count(); ++k) {
            (void)page.Files().Item(i).Values().Item(k);
        }
    }
    (void)list;
    return 0;
}
