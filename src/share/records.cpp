#include "share/records.h"

#include "text/stringfunctions.h"

namespace zandorel {

QString Values::fold(const QString& key) {
    for (QChar c : key) {
        if (c.unicode() >= 128 || (c >= u'A' && c <= u'Z')) {
            return key.toCaseFolded();
        }
    }
    return key;
}

void Values::SetAllValue(const QString& yCode, const QString& cTitle) { parse(yCode, cTitle, 0); }

// The object text is compact notation: "key":value pairs, one comma between
// pairs and no white space. Positions are computed from the lengths of what
// was cut, not searched: only each key's opening quote is looked for.
void Values::parse(QStringView code, const QString& prefix, int depth) {
    const qsizetype length = code.size();
    qsizetype p = 1;  // 1-based, like the positions of the cut
    while (p <= length && code.indexOf(u'"', p - 1) >= 0) {
        qsizetype open = 0;
        const QStringView key = BalancedView(code, u'"', u'"', open, p);
        const QString title = prefix.isEmpty() ? key.toString() : prefix + u'.' + key.toString();
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
        // A repeated Title keeps its first occurrence; the repeat is skipped
        // together with its members.
        if (!Add(title, value.toString(), title)) {
            continue;
        }
        if (value.startsWith(u'"') && !value.contains(u'[') && depth + 1 < MaxDepth) {
            parse(value, key.toString(), depth + 1);
        }
    }
}

bool Values::Add(const QString& Title, const QString& Value, const QString& sKey) {
    QString folded;
    if (!sKey.isEmpty()) {
        folded = fold(sKey);
        if (index_.contains(folded)) {
            return false;
        }
    }
    items_.append(zandorel::Value{Title, Value});
    keys_.append(sKey);
    if (!sKey.isEmpty()) {
        index_.insert(folded, items_.size() - 1);
    }
    return true;
}

QString Values::GetValue(const QString& Title) const {
    for (const zandorel::Value& item : items_) {
        if (item.Title == Title) {
            return item.Value;
        }
    }
    return QString();
}

const zandorel::Value& Values::Item(int position) const {
    if (position < 1 || position > items_.size()) {
        throw std::out_of_range("no property at that position");
    }
    return items_[position - 1];
}

qsizetype Values::find(const QString& key) const { return index_.value(fold(key), -1); }

const zandorel::Value& Values::Item(const QString& key) const {
    const qsizetype at = find(key);
    if (at < 0) {
        throw std::out_of_range("no property with that key");
    }
    return items_[at];
}

bool Values::Contains(const QString& key) const { return find(key) >= 0; }

void Values::rebuildIndex() {
    index_.clear();
    for (qsizetype i = 0; i < keys_.size(); ++i) {
        if (!keys_[i].isEmpty()) {
            index_.insert(fold(keys_[i]), i);
        }
    }
}

void Values::Remove(int position) {
    if (position < 1 || position > items_.size()) {
        throw std::out_of_range("no property at that position");
    }
    items_.removeAt(position - 1);
    keys_.removeAt(position - 1);
    rebuildIndex();
}

void Values::Remove(const QString& key) {
    const qsizetype at = find(key);
    if (at < 0) {
        throw std::out_of_range("no property with that key");
    }
    Remove(static_cast<int>(at + 1));
}

void file::SetValue(const QString& yCode) {
    code_ = yCode;
    values_.SetAllValue(code_, QString());
}

file& Files::Add(const QString& Code, const QString& sKey) {
    auto record = std::make_unique<file>();
    record->SetValue(Code);
    if (!sKey.isEmpty()) {
        const QString folded = sKey.toCaseFolded();
        if (keys_.contains(folded)) {
            throw std::invalid_argument("key already in the collection");
        }
        keys_.insert(folded, static_cast<qsizetype>(items_.size()));
    }
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

}  // namespace zandorel
