#include "share/linklist.h"

#include "settings/editxml.h"
#include "settings/keys.h"
#include "share/sdpage.h"

namespace zandorel {
namespace {

bool anyDigitAboveZero(QStringView level) {
    // Only the ASCII digits count; any of them but 0 makes the number above 0.
    for (QChar c : level) {
        if (c >= u'1' && c <= u'9') {
            return true;
        }
    }
    return false;
}

const QString sharingLevel = QStringLiteral("sharingLevelValue");

} // namespace

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

LinkBuilder::LinkBuilder(const LinkTemplates& templates, int parts)
    : level_(slots_.Add(sharingLevel)),
      link_((parts & Link) ? FileTemplate(templates.codeFormat, slots_) : FileTemplate()),
      caption_((parts & Caption) ? FileTemplate(templates.captionTemplate, slots_) : FileTemplate()),
      warning_((parts & Warning) ? FileTemplate(templates.warnTemplate, slots_) : FileTemplate()),
      join_(templates.joinFormat) {
    readsRecord_ = (parts & Warning) || link_.ReadsRecord() || caption_.ReadsRecord();
}

void LinkBuilder::Read(const Files& files, int position) {
    position_ = position;
    const QStringView code = files.CodeView(position);
    if (readsRecord_) {
        slots_.Read(code);
    }
}

bool LinkBuilder::NotPublic() const {
    return anyDigitAboveZero(slots_.Value(level_));
}

void LinkBuilder::AppendLink(QString& out) const {
    link_.Append(out, position_, slots_);
}

void LinkBuilder::AppendCaption(QString& out) const {
    const qsizetype base = out.size();
    out.append(QString::number(position_));
    out.append(QLatin1StringView(". "));
    try {
        caption_.Append(out, position_, slots_);
    } catch (const ExpansionTooLong&) {
        out.truncate(base);
        throw;
    }
}

void LinkBuilder::AppendWarning(QString& out) const {
    warning_.Append(out, position_, slots_);
}

LinkList BuildLinkList(const SDPage& page, const LinkTemplates& templates, qsizetype maxText) {
    LinkBuilder builder(templates, LinkBuilder::Link | LinkBuilder::Caption | LinkBuilder::Warning);
    LinkList list;
    const Files& files = page.Files();
    const int n = files.Count();
    list.rows.resize(n);
    qsizetype total = 0; // characters made so far, rows and block
    for (int i = 1; i <= n; ++i) {
        builder.Read(files, i);
        LinkRow& row = list.rows[i - 1];
        bool tooLong = false;
        auto fill = [&](auto append, QString& into) {
            try {
                append(into);
            } catch (const ExpansionTooLong&) {
                into.clear();
                tooLong = true;
            }
        };
        fill([&](QString& s) { builder.AppendCaption(s); }, row.caption);
        row.notPublic = builder.NotPublic();
        if (row.notPublic) {
            fill([&](QString& s) { builder.AppendWarning(s); }, row.warning);
        }
        fill([&](QString& s) { builder.AppendLink(s); }, row.link);
        if (tooLong) {
            list.tooLong.append(i);
        }
        // Each row text is held to MaxExpandedLength; the block can be many
        // times the link, so it is counted before it is made.
        total += row.caption.size() + row.warning.size() + row.link.size();
        const qsizetype joined = builder.JoinedSize(row.link);
        if (total > maxText || joined > maxText - total) {
            throw OutputTooLong();
        }
        total += joined;
        builder.AppendJoined(list.block, row.link);
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
