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

LinkTemplates LinkTemplates::FromSettings(pugi::xml_node settings, const QString& codeFormat,
                                          const AppInfo& app) {
    LinkTemplates t;
    t.codeFormat = codeFormat;
    t.app = app;
    t.captionTemplate =
        ReadAttribute(settings, keys::LabelLink, keys::Caption, keys::LabelLinkCaptionDefault);
    t.warnTemplate =
        ReadAttribute(settings, keys::LabelLinkWarn, keys::Caption, keys::LabelLinkWarnCaptionDefault);
    t.joinFormat = ReadAttribute(settings, keys::Config, keys::AllLinkFormat, keys::AllLinkFormatDefault);
    return t;
}

LinkBuilder::LinkBuilder(const LinkTemplates& templates, int parts)
    : level_(slots_.Add(sharingLevel)),
      link_((parts & Link) ? FileTemplate(templates.codeFormat, slots_, templates.app) : FileTemplate()),
      caption_((parts & Caption) ? FileTemplate(templates.captionTemplate, slots_, templates.app)
                                 : FileTemplate()),
      warning_((parts & Warning) ? FileTemplate(templates.warnTemplate, slots_, templates.app)
                                 : FileTemplate()),
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

bool FillLinks(const SDPage& page, const LinkTemplates& templates, int parts, qsizetype maxOutput,
               LinkSink& sink) {
    const bool joined = (parts & LinkBuilder::Joined) != 0;
    LinkBuilder builder(templates, joined ? parts | LinkBuilder::Link : parts);
    const Files& files = page.Files();
    const int n = files.Count();
    LinkTexts texts;
    for (int i = 1; i <= n; ++i) {
        builder.Read(files, i);
        texts.position = i;
        texts.caption.truncate(0); // each keeps its room for the next file
        texts.warning.truncate(0);
        texts.link.truncate(0);
        texts.tooLong = false;
        auto make = [&](auto append, QString& into) {
            try {
                append(into);
            } catch (const ExpansionTooLong&) {
                into.truncate(0);
                texts.tooLong = true;
            }
        };
        if (parts & LinkBuilder::Caption) {
            make([&](QString& s) { builder.AppendCaption(s); }, texts.caption);
        }
        texts.notPublic = builder.NotPublic();
        if ((parts & LinkBuilder::Warning) && texts.notPublic) {
            make([&](QString& s) { builder.AppendWarning(s); }, texts.warning);
        }
        if (parts & (LinkBuilder::Link | LinkBuilder::Joined)) {
            make([&](QString& s) { builder.AppendLink(s); }, texts.link);
        }
        if (texts.tooLong && !sink.TooLong(i)) {
            return false;
        }
        const qsizetype room = maxOutput - sink.Used();
        qsizetype size = sink.Size(texts);
        QStringView piece;
        if (joined) {
            // The block can be many times the link: its length is known
            // before it is made, and no character counts less than 1.
            if (size > room || builder.JoinedSize(texts.link) > room - size) {
                throw OutputTooLong();
            }
            QString& block = sink.Block();
            const qsizetype from = block.size();
            builder.AppendJoined(block, texts.link);
            piece = QStringView(block).mid(from);
            size += sink.Size(piece);
        }
        if (size > room) {
            throw OutputTooLong();
        }
        sink.Keep(texts, piece, size);
    }
    return true;
}

LinkList BuildLinkList(const SDPage& page, const LinkTemplates& templates, qsizetype maxText) {
    // Every row and the block, in characters.
    class Rows : public LinkSink {
    public:
        explicit Rows(int count) { list.rows.reserve(count); }
        qsizetype Used() const override { return used; }
        bool TooLong(int position) override {
            list.tooLong.append(position);
            return true;
        }
        qsizetype Size(const LinkTexts& t) const override {
            return t.caption.size() + t.warning.size() + t.link.size();
        }
        qsizetype Size(QStringView piece) const override { return piece.size(); }
        QString& Block() override { return list.block; }
        void Keep(const LinkTexts& t, QStringView, qsizetype size) override {
            list.rows.append(LinkRow{t.caption, t.notPublic, t.warning, t.link});
            used += size;
        }
        LinkList list;
        qsizetype used = 0;
    } rows(page.Files().Count());
    FillLinks(page, templates,
              LinkBuilder::Link | LinkBuilder::Caption | LinkBuilder::Warning | LinkBuilder::Joined, maxText,
              rows);
    return std::move(rows.list);
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
