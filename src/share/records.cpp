#include "share/records.h"

#include "text/scan.h"

#include <algorithm>
#include <limits>
#include <random>

namespace zandorel {

char16_t FoldNonAscii(char16_t unit) {
    return QChar(unit).toCaseFolded().unicode();
}

namespace {

struct SipKey {
    uint64_t k0;
    uint64_t k1;
};

// Drawn once per process: a page cannot know where its titles land.
const SipKey& titleKey() {
    static const SipKey key = [] {
        std::random_device random;
        auto draw = [&random] { return (uint64_t(random()) << 32) ^ uint64_t(random()); };
        const uint64_t k0 = draw();
        return SipKey{k0, draw()};
    }();
    return key;
}

} // namespace

TitleHasher::TitleHasher() {
    const SipKey& key = titleKey();
    v0_ = key.k0 ^ 0x736f6d6570736575ull;
    v1_ = key.k1 ^ 0x646f72616e646f6dull;
    v2_ = key.k0 ^ 0x6c7967656e657261ull;
    v3_ = key.k1 ^ 0x7465646279746573ull;
}

uint32_t TitleHasher::finish() const {
    uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
    // The last word holds the leftover units and the length in bytes.
    const uint64_t last = word_ | ((count_ * 2) << 56);
    v3 ^= last;
    round(v0, v1, v2, v3);
    v0 ^= last;
    v2 ^= 0xff;
    round(v0, v1, v2, v3);
    round(v0, v1, v2, v3);
    round(v0, v1, v2, v3);
    const uint64_t h = v0 ^ v1 ^ v2 ^ v3;
    return static_cast<uint32_t>(h ^ (h >> 32));
}

uint32_t TitleHash(QStringView title) {
    TitleHasher hash;
    hash.addFolded(title);
    return hash.finish();
}

namespace {

bool foldEqual(QStringView a, QStringView b) {
    if (a.size() != b.size()) {
        return false;
    }
    if (a.data() == b.data()) {
        return true;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (FoldTitleUnit(a[i].unicode()) != FoldTitleUnit(b[i].unicode())) {
            return false;
        }
    }
    return true;
}

} // namespace

// ---- PropertyView ----

QChar PropertyView::titleAt(qsizetype i) const {
    if (!hasPrefix) {
        return key.at(i);
    }
    if (i < prefix.size()) {
        return prefix.at(i);
    }
    return i == prefix.size() ? QChar(u'.') : key.at(i - prefix.size() - 1);
}

bool PropertyView::titleIs(QStringView title) const {
    if (title.size() != titleSize()) {
        return false;
    }
    if (!hasPrefix) {
        return key == title;
    }
    return title.startsWith(prefix) && title.at(prefix.size()) == u'.' &&
           title.sliced(prefix.size() + 1) == key;
}

bool PropertyView::sameKey(const PropertyView& other) const {
    const qsizetype size = titleSize();
    if (other.titleSize() != size) {
        return false;
    }
    for (qsizetype i = 0; i < size; ++i) {
        if (FoldTitleUnit(titleAt(i).unicode()) != FoldTitleUnit(other.titleAt(i).unicode())) {
            return false;
        }
    }
    return true;
}

QString PropertyView::title() const {
    if (!hasPrefix) {
        return key.toString();
    }
    QString out;
    out.reserve(titleSize());
    out.append(prefix);
    out.append(u'.');
    out.append(key);
    return out;
}

// ---- TitleIndex ----

void TitleIndex::clear() {
    for (uint32_t i : filled_) {
        slots_[i] = Slot();
    }
    filled_.clear();
    used_ = 0;
}

void TitleIndex::insert(uint32_t hash, int32_t position) {
    if ((used_ + 1) * 2 > slots_.size()) {
        grow();
    }
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i].position >= 0) {
        i = (i + 1) & mask;
    }
    slots_[i] = Slot{hash, position};
    filled_.push_back(static_cast<uint32_t>(i));
    ++used_;
}

void TitleIndex::grow() {
    std::vector<Slot> old;
    old.swap(slots_);
    slots_.assign(std::max<size_t>(16, old.size() * 2), Slot());
    filled_.clear();
    used_ = 0;
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
        if (slot.position < 0) {
            continue;
        }
        size_t i = slot.hash & mask;
        while (slots_[i].position >= 0) {
            i = (i + 1) & mask;
        }
        slots_[i] = slot;
        filled_.push_back(static_cast<uint32_t>(i));
        ++used_;
    }
}

// ---- RecordScanner ----

void RecordScanner::seed(const PropertyView& key) {
    remember(key, -1);
}

int32_t RecordScanner::prefixClass(QStringView prefix, uint32_t hash) {
    const int32_t found = prefixIndex_.find(
        hash, [&](int32_t at) { return foldEqual(prefixes_[static_cast<size_t>(at)], prefix); });
    if (found >= 0) {
        return found;
    }
    prefixes_.push_back(prefix);
    const auto cls = static_cast<int32_t>(prefixes_.size() - 1);
    prefixIndex_.insert(hash, cls);
    return cls;
}

bool RecordScanner::isRepeat(const PropertyView& p, int32_t cls, uint64_t level) {
    return index_.find(p.hash, [&](int32_t at) {
        const auto i = static_cast<size_t>(at);
        const PropertyView& kept = kept_[i];
        if (kept.titleSize() != p.titleSize()) {
            return false;
        }
        const int32_t keptCls = keptClass_[i];
        if (cls >= 0 && keptCls >= 0 && kept.prefix.size() == p.prefix.size()) {
            // Split alike: the same Title is the same parent name and the same key.
            return keptCls == cls && foldEqual(kept.key, p.key);
        }
        if (cls < 0) {
            return kept.sameKey(p); // as long as this property's own key
        }
        const qsizetype dot = p.prefix.size();
        if (splitLevel_[i] != level) {
            bool same = kept.titleAt(dot) == u'.';
            for (qsizetype j = 0; same && j < dot; ++j) {
                same = FoldTitleUnit(kept.titleAt(j).unicode()) == FoldTitleUnit(p.prefix[j].unicode());
            }
            splitLevel_[i] = level;
            splitSame_[i] = same;
        }
        if (!splitSame_[i]) {
            return false;
        }
        for (qsizetype j = 0; j < p.key.size(); ++j) {
            if (FoldTitleUnit(kept.titleAt(dot + 1 + j).unicode()) != FoldTitleUnit(p.key[j].unicode())) {
                return false;
            }
        }
        return true;
    }) >= 0;
}

void RecordScanner::remember(const PropertyView& p, int32_t cls) {
    kept_.push_back(p);
    keptClass_.push_back(cls);
    splitLevel_.push_back(0);
    splitSame_.push_back(0);
    index_.insert(p.hash, static_cast<int32_t>(kept_.size() - 1));
}

void RecordScanner::reset() {
    kept_.clear();
    keptClass_.clear();
    splitLevel_.clear();
    splitSame_.clear();
    index_.clear();
    prefixes_.clear();
    prefixIndex_.clear();
}

qsizetype RecordScanner::closing(const char16_t* s, qsizetype v, qsizetype n, char16_t open, char16_t close,
                                 Matches& m) {
    if (m.from >= 0 && v >= m.from) {
        // Every opening delimiter from m.from on is listed, in order, and
        // the positions asked for only move forward.
        const qsizetype at = v - m.from;
        while (m.cursor < m.pairs.size() && m.pairs[m.cursor].first < at) {
            ++m.cursor;
        }
        if (m.cursor < m.pairs.size() && m.pairs[m.cursor].first == at) {
            return m.from + m.pairs[m.cursor].second;
        }
    }
    qsizetype nesting = 1;
    qsizetype openers = 1;
    const qsizetype closed = ForEachOfTwo(s, v + 1, n, open, close, [&](qsizetype c) {
        if (s[c] == open) {
            ++nesting;
            ++openers;
            return true;
        }
        return --nesting != 0;
    });
    if (closed < n) {
        return closed;
    }
    m.clear();
    if (n - v > std::numeric_limits<int32_t>::max()) {
        return n; // past what the offsets hold: the rest is scanned each time
    }
    // It never closes. Match every opening delimiter from here to the end
    // of the level once, so that the next ones are answered without a
    // scan. The openers not yet closed form a stack linked through their
    // own entries (a link is stored as -2 - index, -1 ends the stack).
    m.from = v;
    m.pairs.reserve(static_cast<size_t>(openers));
    int32_t top = -1;
    ForEachOfTwo(s, v, n, open, close, [&](qsizetype c) {
        if (s[c] == open) {
            m.pairs.emplace_back(static_cast<int32_t>(c - v), -2 - top);
            top = static_cast<int32_t>(m.pairs.size()) - 1;
        } else {
            auto& pair = m.pairs[static_cast<size_t>(top)];
            top = -2 - pair.second;
            pair.second = static_cast<int32_t>(c - v);
        }
        return true;
    });
    // What is still open never closes.
    while (top >= 0) {
        auto& pair = m.pairs[static_cast<size_t>(top)];
        top = -2 - pair.second;
        pair.second = static_cast<int32_t>(n - v);
    }
    return n;
}

// ---- Values ----

const QString& Values::keep(const QString& text) {
    // Parsing the same shared text again (a record's own Code) reuses it.
    if (texts_.empty() || texts_.back().constData() != text.constData() ||
        texts_.back().size() != text.size()) {
        texts_.push_back(text);
    }
    return texts_.back();
}

PropertyView Values::keyOf(const Item_& item) const {
    if (item.ownKey < 0) {
        return item.title;
    }
    PropertyView key;
    key.key = texts_[static_cast<size_t>(item.ownKey)];
    key.hash = TitleHash(key.key);
    return key;
}

int32_t Values::findKey(const PropertyView& key) const {
    return index_.find(key.hash, [&](int32_t at) {
        const Item_& item = items_[static_cast<size_t>(at)];
        return item.keyed && keyOf(item).sameKey(key);
    });
}

void Values::SetAllValue(const QString& yCode, const QString& cTitle) {
    SetAllValue(yCode, 0, yCode.size(), cTitle);
}

void Values::SetAllValue(const QString& text, qsizetype start, qsizetype length, const QString& cTitle) {
    const QString& kept = keep(text);
    const QStringView code = QStringView(kept).mid(start, length);
    QStringView prefix;
    if (!cTitle.isEmpty()) {
        prefix = keep(cTitle);
    }
    RecordScanner scanner;
    for (const Item_& item : items_) {
        if (item.keyed) {
            scanner.seed(keyOf(item));
        }
    }
    scanner.scan(code, prefix, !cTitle.isEmpty(), [this](const PropertyView& p) {
        items_.push_back(Item_{p, -1, true});
        index_.insert(p.hash, static_cast<int32_t>(items_.size() - 1));
        return true;
    });
}

bool Values::Add(const QString& Title, const QString& Value, const QString& sKey) {
    Item_ item;
    item.title.key = keep(Title);
    item.title.value = keep(Value);
    item.title.hash = TitleHash(item.title.key);
    item.keyed = !sKey.isEmpty();
    if (item.keyed && sKey != Title) {
        keep(sKey);
        item.ownKey = static_cast<int32_t>(texts_.size() - 1);
    }
    if (item.keyed) {
        const PropertyView key = keyOf(item);
        if (findKey(key) >= 0) {
            return false;
        }
        index_.insert(key.hash, static_cast<int32_t>(items_.size()));
    }
    items_.push_back(item);
    return true;
}

QString Values::GetValue(const QString& Title) const {
    for (const Item_& item : items_) {
        if (item.title.titleIs(Title)) {
            return item.title.value.toString();
        }
    }
    return QString();
}

zandorel::Value Values::Item(int position) const {
    if (position < 1 || static_cast<size_t>(position) > items_.size()) {
        throw std::out_of_range("no property at that position");
    }
    const Item_& item = items_[static_cast<size_t>(position) - 1];
    return zandorel::Value{item.title.title(), item.title.value.toString()};
}

zandorel::Value Values::Item(const QString& key) const {
    PropertyView k;
    k.key = key;
    k.hash = TitleHash(key);
    const int32_t at = findKey(k);
    if (at < 0) {
        throw std::out_of_range("no property with that key");
    }
    return Item(at + 1);
}

// ---- file ----

void file::SetValue(const QString& yCode) {
    SetValue(yCode, 0, yCode.size());
}

void file::SetValue(const QString& text, qsizetype start, qsizetype length) {
    text_ = text;
    start_ = start;
    length_ = length;
}

zandorel::Values file::Values() const {
    zandorel::Values values;
    values.SetAllValue(text_, start_, length_, QString());
    return values;
}

QString file::GetByTitle(const QString& Title) const {
    QString found;
    RecordScanner scanner;
    scanner.scan(CodeView(), {}, false, [&](const PropertyView& p) {
        if (p.titleIs(Title)) {
            found = p.value.toString();
            return false;
        }
        return true;
    });
    return found;
}

// ---- Files ----

void Files::Add(const QString& text, qsizetype start, qsizetype length) {
    if (texts_.empty() || texts_.back().constData() != text.constData() ||
        texts_.back().size() != text.size()) {
        texts_.push_back(text);
    }
    entries_.push_back(Entry{start, length, static_cast<int32_t>(texts_.size() - 1)});
}

const Files::Entry& Files::at(int position) const {
    if (position < 1 || static_cast<size_t>(position) > entries_.size()) {
        throw std::out_of_range("no file at that position");
    }
    return entries_[static_cast<size_t>(position) - 1];
}

file Files::Item(int position) const {
    const Entry& e = at(position);
    return file(texts_[static_cast<size_t>(e.text)], e.start, e.length);
}

QStringView Files::CodeView(int position) const {
    const Entry& e = at(position);
    return QStringView(texts_[static_cast<size_t>(e.text)]).mid(e.start, e.length);
}

} // namespace zandorel
