#include "share/records.h"

#include "text/stringfunctions.h"

#include <limits>

namespace zandorel {
namespace {

// Below this many properties a repeated key is found by walking the list;
// larger collections keep a hash of their keys.
constexpr size_t IndexThreshold = 48;

QChar foldChar(QChar c) {
    if (c.unicode() < 128) {
        return (c >= u'A' && c <= u'Z') ? QChar(c.unicode() + 32) : c;
    }
    return c.toCaseFolded();
}

} // namespace

QChar Values::TitleView::at(qsizetype i) const {
    if (!hasPrefix) {
        return key.at(i);
    }
    if (i < prefix.size()) {
        return prefix.at(i);
    }
    return i == prefix.size() ? QChar(u'.') : key.at(i - prefix.size() - 1);
}

QString Values::TitleView::toString() const {
    if (!hasPrefix) {
        return key.toString();
    }
    QString out;
    out.reserve(size());
    out.append(prefix);
    out.append(u'.');
    out.append(key);
    return out;
}

QString Values::fold(const TitleView& key) {
    QString out(key.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < key.size(); ++i) {
        out[i] = foldChar(key.at(i));
    }
    return out;
}

int Values::addText(const QString& text) {
    // Parsing the same shared text again (a record's own Code) reuses it.
    if (!texts_.empty() && texts_.back().constData() == text.constData() &&
        texts_.back().size() == text.size()) {
        return static_cast<int>(texts_.size() - 1);
    }
    texts_.push_back(text);
    return static_cast<int>(texts_.size() - 1);
}

QStringView Values::view(const Span& span) const {
    if (span.text < 0) {
        return {};
    }
    return QStringView(texts_[static_cast<size_t>(span.text)]).mid(span.start, span.length);
}

Values::TitleView Values::title(const Item_& item) const {
    TitleView t;
    t.hasPrefix = item.prefix.text >= 0;
    t.prefix = view(item.prefix);
    t.key = view(item.key);
    return t;
}

Values::TitleView Values::keyOf(const Item_& item) const {
    if (item.ownKey >= 0) {
        TitleView t;
        t.key = texts_[static_cast<size_t>(item.ownKey)];
        return t;
    }
    return title(item);
}

void Values::SetAllValue(const QString& yCode, const QString& cTitle) {
    SetAllValue(yCode, 0, yCode.size(), cTitle);
}

void Values::SetAllValue(const QString& text, qsizetype start, qsizetype length, const QString& cTitle) {
    if (text.size() > std::numeric_limits<int32_t>::max() ||
        cTitle.size() > std::numeric_limits<int32_t>::max()) {
        return;
    }
    const int t = addText(text);
    // About one property per comma: enough room up front for a whole record.
    const QStringView code = QStringView(text).mid(start, length);
    items_.reserve(items_.size() + static_cast<size_t>(code.count(u',')) + 1);
    Span prefix;
    if (!cTitle.isEmpty()) {
        prefix.text = addText(cTitle);
        prefix.length = static_cast<int32_t>(cTitle.size());
    }
    parse(t, code, prefix, 0);
}

// The object text is compact notation: "key":value pairs, one comma between
// pairs and no white space. Positions are computed from the lengths of what
// was cut, not searched: only each key's opening quote is looked for.
void Values::parse(int text, QStringView code, const Span& prefix, int depth) {
    const QChar* base = texts_[static_cast<size_t>(text)].constData();
    auto spanOf = [&](QStringView part) {
        return Span{text, static_cast<int32_t>(part.data() - base), static_cast<int32_t>(part.size())};
    };
    const qsizetype length = code.size();
    qsizetype p = 1; // 1-based, like the positions of the cut
    while (p <= length && code.indexOf(u'"', p - 1) >= 0) {
        qsizetype open = 0;
        QStringView key = BalancedView(code, u'"', u'"', open, p);
        if (key.isNull()) {
            key = code.mid(open, 0);
        }
        const qsizetype v = p + key.size() + 3;
        const QChar first = v - 1 < length ? code.at(v - 1) : QChar();
        QStringView value;
        if (first == u'"' || first == u'{' || first == u'[') {
            const QChar close = first == u'"' ? u'"' : (first == u'{' ? u'}' : u']');
            value = BalancedView(code, first, close, open, v);
            p = v + value.size() + 3;
        } else {
            const qsizetype from = std::min(v - 1, length);
            const qsizetype comma = code.indexOf(u',', from);
            value = code.mid(from, (comma < 0 ? length : comma) - from);
            p = v + value.size() + 1;
        }
        Item_ item;
        item.prefix = prefix;
        item.key = spanOf(key);
        item.value = value.isNull() ? Span{text, 0, 0} : spanOf(value);
        item.keyed = true;
        // A repeated Title keeps its first occurrence; the repeat is skipped
        // together with its members.
        if (!append(item)) {
            continue;
        }
        if (value.startsWith(u'"') && !value.contains(u'[') && depth + 1 < MaxDepth) {
            parse(text, value, item.key, depth + 1);
        }
    }
}

uint32_t Values::hashFolded(const TitleView& key) {
    uint32_t h = 2166136261u;
    auto add = [&h](QStringView part) {
        for (QChar c : part) {
            h = (h ^ foldChar(c).unicode()) * 16777619u;
        }
    };
    if (key.hasPrefix) {
        add(key.prefix);
        add(u".");
    }
    add(key.key);
    return h;
}

qsizetype Values::findKey(const TitleView& key, uint32_t hash) const {
    if (indexed_) {
        return index_.value(fold(key), -1);
    }
    const qsizetype size = key.size();
    for (size_t i = 0; i < items_.size(); ++i) {
        if (!items_[i].keyed || items_[i].keyHash != hash) {
            continue;
        }
        const TitleView other = keyOf(items_[i]);
        if (other.size() != size) {
            continue;
        }
        qsizetype k = 0;
        while (k < size && foldChar(other.at(k)) == foldChar(key.at(k))) {
            ++k;
        }
        if (k == size) {
            return static_cast<qsizetype>(i);
        }
    }
    return -1;
}

bool Values::append(Item_& item) {
    item.titleSize = static_cast<int32_t>(title(item).size());
    if (item.keyed) {
        const TitleView key = keyOf(item);
        item.keyHash = hashFolded(key);
        if (findKey(key, item.keyHash) >= 0) {
            return false;
        }
        if (indexed_) {
            index_.insert(fold(key), static_cast<qsizetype>(items_.size()));
        }
    }
    items_.push_back(item);
    if (!indexed_ && items_.size() > IndexThreshold) {
        rebuildIndex();
    }
    return true;
}

void Values::rebuildIndex() {
    index_.clear();
    indexed_ = items_.size() > IndexThreshold;
    if (!indexed_) {
        return;
    }
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].keyed) {
            index_.insert(fold(keyOf(items_[i])), static_cast<qsizetype>(i));
        }
    }
}

bool Values::Add(const QString& Title, const QString& Value, const QString& sKey) {
    constexpr qsizetype limit = std::numeric_limits<int32_t>::max();
    if (Title.size() > limit || Value.size() > limit) {
        throw std::length_error("property too long");
    }
    Item_ item;
    item.key = Span{addText(Title), 0, static_cast<int32_t>(Title.size())};
    item.value = Span{addText(Value), 0, static_cast<int32_t>(Value.size())};
    if (!sKey.isEmpty()) {
        item.keyed = true;
        if (sKey != Title) {
            item.ownKey = addText(sKey);
        }
    }
    return append(item);
}

QString Values::GetValue(const QString& Title) const {
    const qsizetype size = Title.size();
    for (const Item_& item : items_) {
        if (item.titleSize != size) {
            continue;
        }
        const TitleView t = title(item);
        qsizetype k = 0;
        while (k < size && t.at(k) == Title.at(k)) {
            ++k;
        }
        if (k == size) {
            return view(item.value).toString();
        }
    }
    return QString();
}

zandorel::Value Values::Item(int position) const {
    if (position < 1 || static_cast<size_t>(position) > items_.size()) {
        throw std::out_of_range("no property at that position");
    }
    const Item_& item = items_[static_cast<size_t>(position) - 1];
    return zandorel::Value{title(item).toString(), view(item.value).toString()};
}

zandorel::Value Values::Item(const QString& key) const {
    TitleView k;
    k.key = key;
    const qsizetype at = findKey(k, hashFolded(k));
    if (at < 0) {
        throw std::out_of_range("no property with that key");
    }
    return Item(static_cast<int>(at + 1));
}

bool Values::Contains(const QString& key) const {
    TitleView k;
    k.key = key;
    return findKey(k, hashFolded(k)) >= 0;
}

void Values::Remove(int position) {
    if (position < 1 || static_cast<size_t>(position) > items_.size()) {
        throw std::out_of_range("no property at that position");
    }
    items_.erase(items_.begin() + (position - 1));
    rebuildIndex();
}

void Values::Remove(const QString& key) {
    TitleView k;
    k.key = key;
    const qsizetype at = findKey(k, hashFolded(k));
    if (at < 0) {
        throw std::out_of_range("no property with that key");
    }
    Remove(static_cast<int>(at + 1));
}

void file::SetValue(const QString& yCode) {
    SetValue(yCode, 0, yCode.size());
}

void file::SetValue(const QString& text, qsizetype start, qsizetype length) {
    text_ = text;
    start_ = start;
    length_ = length;
    values_.SetAllValue(text_, start, length, QString());
}

file& Files::Add(const QString& Code, const QString& sKey) {
    Add(Code, 0, Code.size());
    if (!sKey.isEmpty()) {
        const QString folded = sKey.toCaseFolded();
        if (keys_.contains(folded)) {
            items_.pop_back();
            throw std::invalid_argument("key already in the collection");
        }
        keys_.insert(folded, static_cast<qsizetype>(items_.size() - 1));
    }
    return *items_.back();
}

file& Files::Add(const QString& text, qsizetype start, qsizetype length) {
    auto record = std::make_unique<file>();
    record->SetValue(text, start, length);
    items_.push_back(std::move(record));
    return *items_.back();
}

const file& Files::Item(int position) const {
    if (position < 1 || static_cast<size_t>(position) > items_.size()) {
        throw std::out_of_range("no file at that position");
    }
    return *items_[static_cast<size_t>(position) - 1];
}

const file& Files::Item(const QString& key) const {
    const qsizetype at = keys_.value(key.toCaseFolded(), -1);
    if (at < 0) {
        throw std::out_of_range("no file with that key");
    }
    return *items_[static_cast<size_t>(at)];
}

void Files::Remove(int position) {
    if (position < 1 || static_cast<size_t>(position) > items_.size()) {
        throw std::out_of_range("no file at that position");
    }
    items_.erase(items_.begin() + (position - 1));
    QHash<QString, qsizetype> shifted;
    for (auto it = keys_.begin(); it != keys_.end(); ++it) {
        if (it.value() != position - 1) {
            shifted.insert(it.key(), it.value() > position - 1 ? it.value() - 1 : it.value());
        }
    }
    keys_ = shifted;
}

} // namespace zandorel
