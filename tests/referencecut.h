#pragma once
// The page cut done the plain way, step by step: the reference for CutPage.

#include "share/pipeline.h"
#include "text/regexpfunctions.h"
#include "text/stringfunctions.h"

#include <QStringList>

namespace zandorel::test {

// What the pattern helpers cut from a page: the reference for CutPage.
struct Cut {
    int failedStep = 0;
    QString data;
    QString code;
    QStringList objects;
    bool operator==(const Cut& o) const {
        return failedStep == o.failedStep && data == o.data && code == o.code && objects == o.objects;
    }
};

inline Cut referenceCut(const QString& page) {
    Cut cut;
    qsizetype start = 0;
    qsizetype length = 0;
    if (!RegFirstGroup(page, QStringLiteral("var primedResponse={(.*?)};"), 1, start, length)) {
        cut.failedStep = 1;
        return cut;
    }
    cut.data = page.mid(start, length);
    const qsizetype children = cut.data.indexOf(QStringLiteral("\"children\":["));
    if (children < 0) {
        cut.failedStep = 2;
        return cut;
    }
    qsizetype open = 0;
    cut.code = BalancedView(cut.data, u'[', u']', open, children + 1).toString();
    qsizetype from = 1;
    while (true) {
        const QStringView object = BalancedView(cut.code, u'{', u'}', open, from);
        if (object.isEmpty()) {
            break;
        }
        cut.objects << object.toString();
        from = open + object.size() + 1;
    }
    return cut;
}

inline Cut fastCut(const QString& page) {
    const PageListing listing = CutPage(page);
    Cut cut;
    if (listing.status == Listing::Status::NoScriptData) {
        cut.failedStep = 1;
        return cut;
    }
    cut.data = page.mid(listing.dataStart, listing.dataLength);
    if (listing.status == Listing::Status::NoFolderList) {
        cut.failedStep = 2;
        return cut;
    }
    cut.code = page.mid(listing.codeStart, listing.codeLength);
    for (const PageListing::Span& object : listing.objects) {
        cut.objects << page.mid(object.start, object.length);
    }
    return cut;
}

} // namespace zandorel::test
