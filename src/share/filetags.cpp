#include "share/filetags.h"

#include "text/escapes.h"
#include "text/placeholders.h"

#include <algorithm>
#include <limits>

namespace zandorel {

// ---- TitleSlots ----

int TitleSlots::Add(QStringView title) {
    for (size_t i = 0; i < slots_.size(); ++i) {
        if (slots_[i].title == title) {
            return static_cast<int>(i);
        }
    }
    slots_.push_back(Slot{title.toString(), TitleHash(title)});
    hashBits_ |= uint64_t(1) << (slots_.back().hash & 63);
    index_.insert(slots_.back().hash, static_cast<int32_t>(slots_.size() - 1));
    values_.emplace_back();
    found_.push_back(0);
    return static_cast<int>(slots_.size() - 1);
}

void TitleSlots::Read(QStringView code) {
    std::fill(values_.begin(), values_.end(), QStringView());
    std::fill(found_.begin(), found_.end(), 0);
    size_t missing = slots_.size();
    if (missing == 0) {
        return;
    }
    // The first kept property of each title; once every title has been
    // found, nothing later can change them.
    scanner_.scan(code, {}, false, [&](const PropertyView& p) {
        if (!((hashBits_ >> (p.hash & 63)) & 1)) {
            return true;
        }
        // Titles that differ only in letter case share a hash; the one of
        // this exact Title is the slot.
        const int32_t slot = index_.find(p.hash, [&](int32_t at) {
            const auto i = static_cast<size_t>(at);
            return !found_[i] && p.titleIs(slots_[i].title);
        });
        if (slot >= 0) {
            values_[static_cast<size_t>(slot)] = p.value;
            found_[static_cast<size_t>(slot)] = 1;
            --missing;
        }
        return missing > 0;
    });
}

// ---- FileTemplate ----

FileTemplate::FileTemplate(QStringView text, TitleSlots& titles, const AppInfo& app) {
    const QStringView letters(u"tvhus");
    qsizetype copied = 0;
    auto literal = [&](qsizetype from, qsizetype to) {
        if (to > from) {
            pieces_.push_back(Piece{Kind::Literal, 0, -1, literals_.size(), to - from});
            literals_.append(text.mid(from, to - from));
        }
    };
    for (const PlaceholderToken& token : FindPlaceholders(text, letters)) {
        literal(copied, token.start);
        copied = token.start + token.length;
        if (token.family == u's') {
            const QString value = AppTagValue(token.name.toString(), app);
            pieces_.push_back(Piece{Kind::Literal, 0, -1, literals_.size(), value.size()});
            literals_.append(value);
        } else if (token.name.compare(u"fileIndex", Qt::CaseInsensitive) == 0) {
            pieces_.push_back(Piece{Kind::FileIndex, token.family, -1, 0, 0});
        } else {
            pieces_.push_back(Piece{Kind::Property, token.family, titles.Add(token.name), 0, 0});
            readsRecord_ = true;
            plain_ = plain_ && token.family == u't';
        }
    }
    literal(copied, text.size());
}

void FileTemplate::Append(QString& out, int position, const TitleSlots& titles) const {
    const qsizetype base = out.size();
    if (plain_) {
        // Every piece's length is known: one resize, then plain copies.
        const QString number = QString::number(position);
        qsizetype total = 0;
        for (const Piece& piece : pieces_) {
            total += piece.kind == Kind::Literal     ? piece.length
                     : piece.kind == Kind::FileIndex ? number.size()
                                                     : titles.Value(piece.slot).size();
        }
        if (total > MaxExpandedLength) {
            throw ExpansionTooLong();
        }
        out.resize(base + total);
        QChar* to = out.data() + base;
        auto copy = [&to](QStringView part) {
            std::copy(part.begin(), part.end(), to);
            to += part.size();
        };
        for (const Piece& piece : pieces_) {
            copy(piece.kind == Kind::Literal     ? QStringView(literals_).mid(piece.start, piece.length)
                 : piece.kind == Kind::FileIndex ? QStringView(number)
                                                 : titles.Value(piece.slot));
        }
        return;
    }
    QString plain;
    for (const Piece& piece : pieces_) {
        switch (piece.kind) {
        case Kind::Literal:
            out.append(QStringView(literals_).mid(piece.start, piece.length));
            break;
        case Kind::FileIndex:
            out.append(QString::number(position));
            break;
        case Kind::Property: {
            const QStringView value = titles.Value(piece.slot);
            if (piece.family == u't') {
                out.append(value);
            } else if (piece.family == u'v') {
                AppendUnescaped(out, value);
            } else {
                plain.truncate(0);
                AppendUnescaped(plain, value);
                if (piece.family == u'h') {
                    AppendHtmlEscaped(out, plain);
                } else {
                    AppendPercentEncoded(out, plain);
                }
            }
            break;
        }
        }
        if (out.size() - base > MaxExpandedLength) {
            out.truncate(base);
            throw ExpansionTooLong();
        }
    }
}

// ---- JoinFormat ----

JoinFormat::JoinFormat(QStringView format) {
    // One pass gives what the three replacements in a row give: none of them
    // can make a match for a later one.
    qsizetype from = 0;
    auto literal = [&](qsizetype to) {
        if (to > from) {
            pieces_.emplace_back(literals_.size(), to - from);
            literals_.append(format.mid(from, to - from));
        }
    };
    for (qsizetype i = 0; i + 1 < format.size(); ++i) {
        const char16_t c = format[i].unicode();
        const char16_t next = format[i + 1].unicode();
        QChar control;
        if (c == u'\\' && (next == u'r' || next == u'R')) {
            control = QChar(u'\r');
        } else if (c == u'\\' && (next == u'n' || next == u'N')) {
            control = QChar(u'\n');
        } else if (c == u'$' && next == u'1') {
            literal(i);
            pieces_.emplace_back(0, -1);
            from = i + 2;
            ++i;
            continue;
        } else {
            continue;
        }
        literal(i);
        pieces_.emplace_back(literals_.size(), 1);
        literals_.append(control);
        from = i + 2;
        ++i;
    }
    literal(format.size());
}

qsizetype JoinFormat::Size(qsizetype linkSize) const {
    constexpr qsizetype most = std::numeric_limits<qsizetype>::max() / 2;
    qsizetype size = 0;
    for (const auto& [start, length] : pieces_) {
        size = std::min(most, size + (length < 0 ? std::min(linkSize, most) : length));
    }
    return size;
}

void JoinFormat::Append(QString& out, QStringView link) const {
    for (const auto& [start, length] : pieces_) {
        if (length < 0) {
            out.append(link);
        } else {
            out.append(QStringView(literals_).mid(start, length));
        }
    }
}

} // namespace zandorel
