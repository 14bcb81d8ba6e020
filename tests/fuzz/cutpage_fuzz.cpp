// Page text in: the one-pass page cut must give what the pattern helpers
// cut, and the join format read once what the three replacements give.

#include "../referencecut.h"
#include "share/filetags.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace zandorel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // UTF-16 straight from the bytes, so lone surrogates and any unit occur.
    const QString page =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(data), static_cast<qsizetype>(size / 2));
    if (!(test::fastCut(page) == test::referenceCut(page))) {
        abort();
    }
    const qsizetype cut = page.indexOf(u'\n');
    const QString format = cut < 0 ? page : page.left(cut);
    const QString link = cut < 0 ? QString() : page.mid(cut + 1, 64);
    QString joined;
    JoinFormat(format).Append(joined, link);
    if (joined != ExpandJoinFormat(link, format)) {
        abort();
    }
    return 0;
}
