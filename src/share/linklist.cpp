#include "share/linklist.h"

#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/sdpage.h"
#include "text/placeholders.h"
#include "text/regexpfunctions.h"

namespace zandorel {

LinkTemplates LinkTemplates::FromSettings(pugi::xml_node settings, const QString& codeFormat) {
    LinkTemplates t;
    t.codeFormat = codeFormat;
    t.captionTemplate =
        ReadAttribute(settings, keys::LabelLink, keys::Caption, keys::LabelLinkCaptionDefault);
    t.warnTemplate =
        ReadAttribute(settings, keys::LabelLinkWarn, keys::Caption, keys::LabelLinkWarnCaptionDefault);
    t.joinFormat = ReadAttribute(settings, keys::Config, keys::AllLinkFormat, keys::AllLinkFormatDefault);
    return t;
}

bool IsNotPublic(const SDPage& page, int position) {
    const QString digits = RegExtract(ExpandFileTags(QStringLiteral("%t(sharingLevelValue)"), page, position),
                                      QStringLiteral("\\d"), QString());
    // Any non-zero digit makes the number greater than 0, however long it is.
    for (QChar c : digits) {
        if (c != u'0') {
            return true;
        }
    }
    return false;
}

LinkRow BuildLinkRow(const SDPage& page, int position, const LinkTemplates& templates) {
    LinkRow row;
    row.caption = QString::number(position) + QStringLiteral(". ") +
                  ExpandTemplate(templates.captionTemplate, page, position);
    row.notPublic = IsNotPublic(page, position);
    if (row.notPublic) {
        row.warning = ExpandTemplate(templates.warnTemplate, page, position);
    }
    row.link = ExpandTemplate(templates.codeFormat, page, position);
    return row;
}

LinkList BuildLinkList(const SDPage& page, const LinkTemplates& templates) {
    LinkList list;
    const int n = page.Files().Count();
    list.rows.reserve(n);
    for (int i = 1; i <= n; ++i) {
        list.rows.append(BuildLinkRow(page, i, templates));
        list.block += ExpandJoinFormat(list.rows.back().link, templates.joinFormat);
    }
    return list;
}

QString PropertyViewerText(const SDPage& page, int position) {
    const QString gap = QStringLiteral("     ");
    const QString end = QStringLiteral("\r\n");
    QString text = QStringLiteral("fileIndex") + gap + QString::number(position) + end;
    for (const Value& property : page.Files().Item(position).Values()) {
        text += property.Title + gap + property.Value + end;
    }
    return text;
}

} // namespace zandorel
