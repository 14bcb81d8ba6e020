#pragma once
// File records of one folder page. Each entry object of the listing becomes a
// `file`; its properties are the ordered Title/Value pairs of the object,
// nested objects flattened into dotted Titles.
//
// A listing of many thousands of files holds millions of properties, so a
// record is only a span of the page text: its properties are read from that
// text when they are asked for, in one forward scan (RecordScanner), and a
// Values collection is made only for the few records that are shown whole.

#include "text/scan.h"

#include <QString>
#include <QStringView>
#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace zandorel {

// One property.
struct Value {
    QString Title;
    QString Value;
};

// Titles are told apart without regard to letter case: two Titles are the same
// key when their case-folded units are equal. Folded titles are hashed with
// SipHash-1-3 under a key drawn at random once per process, so that no page
// can choose titles that all land in one place of an index.
char16_t FoldNonAscii(char16_t unit);
inline char16_t FoldTitleUnit(char16_t unit) {
    if (unit < 128) {
        return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit + 32) : unit;
    }
    return FoldNonAscii(unit);
}

// The hash of a folded title, fed one unit at a time (four units make one
// SipHash word).
class TitleHasher {
public:
    TitleHasher(); // the process's key
    void add(char16_t folded) {
        word_ |= uint64_t(folded) << (16 * (count_ & 3));
        if ((++count_ & 3) == 0) {
            compress(word_);
            word_ = 0;
        }
    }
    void addFolded(QStringView text) {
        for (QChar c : text) {
            add(FoldTitleUnit(c.unicode()));
        }
    }
    uint32_t finish() const;

private:
    static uint64_t rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }
    static void round(uint64_t& v0, uint64_t& v1, uint64_t& v2, uint64_t& v3) {
        v0 += v1;
        v1 = rotl(v1, 13);
        v1 ^= v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotl(v1, 17);
        v1 ^= v2;
        v2 = rotl(v2, 32);
    }
    void compress(uint64_t m) {
        v3_ ^= m;
        round(v0_, v1_, v2_, v3_);
        v0_ ^= m;
    }
    uint64_t v0_, v1_, v2_, v3_;
    uint64_t word_ = 0;
    uint64_t count_ = 0;
};

uint32_t TitleHash(QStringView title);

// A property as the scanner meets it. Its Title is prefix + "." + key, or the
// key alone for a property without a prefix.
struct PropertyView {
    QStringView prefix;
    QStringView key;
    QStringView value;
    uint32_t hash = 0; // of the folded Title
    bool hasPrefix = false;

    qsizetype titleSize() const { return hasPrefix ? prefix.size() + 1 + key.size() : key.size(); }
    QChar titleAt(qsizetype i) const;
    bool titleIs(QStringView title) const;         // exact, letter case included
    bool sameKey(const PropertyView& other) const; // letter case ignored
    QString title() const;
};

// Open-addressing index from folded-title hashes to positions. The owner
// answers whether the entry at a position is the key it looks for.
class TitleIndex {
public:
    void clear();
    template <typename Equal> int32_t find(uint32_t hash, Equal&& equal) const {
        if (slots_.empty()) {
            return -1;
        }
        const size_t mask = slots_.size() - 1;
        for (size_t i = hash & mask;; i = (i + 1) & mask) {
            const Slot& slot = slots_[i];
            if (slot.position < 0) {
                return -1;
            }
            if (slot.hash == hash && equal(slot.position)) {
                return slot.position;
            }
        }
    }
    void insert(uint32_t hash, int32_t position);
    size_t size() const { return used_; }

private:
    struct Slot {
        uint32_t hash = 0;
        int32_t position = -1;
    };
    void grow();
    std::vector<Slot> slots_;
    std::vector<uint32_t> filled_; // slots in use, to clear them without a sweep
    size_t used_ = 0;
};

// Reads compact object text the way the listing stores it: "key":value pairs,
// one comma between pairs, no white space. Positions are computed from the
// lengths of what was cut, not searched, so text that is not compact sends
// them astray, as it always has. A nested object (or list of strings) is
// followed by its members, named after their immediate parent only; a Title
// that repeats an earlier one (letter case ignored) is skipped together with
// its members. Reusing one scanner for many records allocates nothing once
// it has seen the widest record.
//
// The work stays in proportion to the text whatever its shape. The computed
// positions only move forward, so a search for a quote that has already run
// past the position asked for answers from what it found; and a bracket or
// brace that never closes is met once, after which every opening delimiter
// of that kind in the rest of the level is matched in one pass and looked up.
class RecordScanner {
public:
    // How deep nested objects are flattened; deeper text stays unflattened as
    // the value of its parent's member.
    static constexpr int MaxDepth = 32;

    // A key the record already holds before the scan (the collection that is
    // filled again keeps its own).
    void seed(const PropertyView& key);

    // Calls visit(const PropertyView&) for each property the record keeps, in
    // order; visit returns false to stop the scan. `prefix` is the Title
    // prefix of the top-level pairs (none when hasPrefix is false). Forgets
    // the seeds when done.
    template <typename Visit> void scan(QStringView code, QStringView prefix, bool hasPrefix, Visit&& visit) {
        TitleHasher start;
        int32_t cls = -1;
        if (hasPrefix) {
            start.addFolded(prefix);
            cls = prefixClass(prefix, start.finish());
            start.add(u'.');
        }
        level(code, prefix, cls, start, 0, visit);
        reset();
    }

private:
    // Where each opening delimiter of one kind closes, from the first one of
    // a level found never to close to the end of the level.
    struct Matches {
        qsizetype from = -1; // -1: nothing recorded yet
        // Offsets from `from` of each opening delimiter and of where it
        // closes (or of the end of the level).
        std::vector<std::pair<int32_t, int32_t>> pairs;
        size_t cursor = 0;
        void clear() {
            from = -1;
            pairs.clear();
            cursor = 0;
        }
    };
    // The position of the delimiter that closes the one at v (s[v] == open),
    // or n when it never closes.
    qsizetype closing(const char16_t* s, qsizetype v, qsizetype n, char16_t open, char16_t close, Matches& m);

    // The number shared by every prefix of the same text (letter case
    // ignored), so that members of one parent name compare their keys only.
    int32_t prefixClass(QStringView prefix, uint32_t hash);

    template <typename Visit>
    bool level(QStringView code, QStringView prefix, int32_t prefixClass, const TitleHasher& start, int depth,
               Visit& visit);
    // `level` tells the level apart from every other one of this scanner.
    bool isRepeat(const PropertyView& p, int32_t prefixClass, uint64_t level);
    void remember(const PropertyView& p, int32_t prefixClass);
    void reset();

    std::vector<PropertyView> kept_;
    std::vector<int32_t> keptClass_; // -1 without a prefix
    // Per kept property, for a Title split elsewhere than the current one:
    // whether it begins with the current level's prefix and a dot, and the
    // level that was worked out for, so the members of one level pay for
    // their long parent name once.
    std::vector<uint64_t> splitLevel_;
    std::vector<char> splitSame_;
    uint64_t levels_ = 0;
    TitleIndex index_;
    std::vector<QStringView> prefixes_; // one per class
    TitleIndex prefixIndex_;
    Matches matches_[MaxDepth][2]; // braces and brackets, per level
};

// One object level. Positions are 0-based; the next pair is expected right
// after the cut value, its closing delimiter and a comma.
template <typename Visit>
bool RecordScanner::level(QStringView code, QStringView prefix, int32_t cls, const TitleHasher& start,
                          int depth, Visit& visit) {
    const char16_t* s = code.utf16();
    const qsizetype n = code.size();
    static constexpr char16_t quote[4] = {u'"', u'"', u'"', u'"'};
    static constexpr char16_t comma[4] = {u',', u',', u',', u','};
    // The last two quote searches: no quote in [from, at), and s[at] is one
    // (or at == n). The search for the next key and the one for the end of
    // the key alternate, so both are kept.
    struct Span {
        qsizetype from = 0;
        qsizetype at = -1;
    } spans[2];
    auto nextQuote = [&](qsizetype from) {
        for (const Span& span : spans) {
            if (from >= span.from && from <= span.at) {
                return span.at;
            }
        }
        spans[0] = spans[1];
        spans[1] = Span{from, FindAnyOf(s, from, n, quote)};
        return spans[1].at;
    };
    // The key last read, by the position of its opening quote.
    qsizetype keyQuote = -1;
    QStringView key;
    uint32_t keyHash = 0;
    matches_[depth][0].clear();
    matches_[depth][1].clear();
    const uint64_t levelId = ++levels_;

    qsizetype p = 0;
    while (p < n) {
        // The key runs from the first quote at or after p to the next quote.
        const qsizetype q = nextQuote(p);
        if (q >= n) {
            break;
        }
        if (q != keyQuote) {
            keyQuote = q;
            const qsizetype k = nextQuote(q + 1);
            TitleHasher hash = start;
            if (k < n) {
                key = QStringView(s + q + 1, k - q - 1);
                hash.addFolded(key);
            } else {
                key = QStringView(s + q + 1, qsizetype(0)); // no closing quote: an empty key
            }
            keyHash = hash.finish();
        }
        PropertyView prop;
        prop.prefix = prefix;
        prop.hasPrefix = cls >= 0;
        prop.key = key;
        prop.hash = keyHash;

        // The value starts where "key": ends, counted from p.
        const qsizetype v = p + prop.key.size() + 3;
        const char16_t first = v < n ? s[v] : char16_t(0);
        if (first == u'"') {
            const qsizetype c = nextQuote(v + 1);
            prop.value = c < n ? QStringView(s + v + 1, c - v - 1) : QStringView();
            p = v + prop.value.size() + 3;
        } else if (first == u'{' || first == u'[') {
            const bool brace = first == u'{';
            const qsizetype c = closing(s, v, n, first, brace ? u'}' : u']', matches_[depth][brace ? 0 : 1]);
            prop.value = c < n ? QStringView(s + v + 1, c - v - 1) : QStringView();
            p = v + prop.value.size() + 3;
        } else {
            const qsizetype from = std::min(v, n);
            const qsizetype end = FindAnyOf(s, from, n, comma);
            prop.value = QStringView(s + from, end - from);
            p = v + prop.value.size() + 1;
        }

        if (isRepeat(prop, cls, levelId)) {
            continue; // skipped together with its members
        }
        remember(prop, cls);
        if (!visit(prop)) {
            return false;
        }
        if (!prop.value.isEmpty() && prop.value.front() == u'"' && !prop.value.contains(u'[') &&
            depth + 1 < MaxDepth) {
            TitleHasher inner;
            inner.addFolded(prop.key);
            const int32_t innerClass = prefixClass(prop.key, inner.finish());
            inner.add(u'.');
            if (!level(prop.value, prop.key, innerClass, inner, depth + 1, visit)) {
                return false;
            }
        }
    }
    return true;
}

// The properties of one file: ordered, 1-based, optionally keyed by text
// compared without regard to letter case.
class Values {
public:
    // Parses compact object text and appends one property per pair found.
    // `cTitle` is the Title prefix, empty for a top-level object.
    void SetAllValue(const QString& yCode, const QString& cTitle);
    // The same for the span [start, start + length) of a shared text.
    void SetAllValue(const QString& text, qsizetype start, qsizetype length, const QString& cTitle);

    // Appends a property. Returns false, and appends nothing, when `sKey` is
    // already a key of the collection.
    bool Add(const QString& Title, const QString& Value, const QString& sKey = QString());

    // Value of the first property whose Title equals `Title` exactly.
    QString GetValue(const QString& Title) const;

    zandorel::Value Item(int position) const; // 1-based; std::out_of_range
    zandorel::Value Item(const QString& key) const;
    int Count() const { return static_cast<int>(items_.size()); }

    class const_iterator {
    public:
        const_iterator(const Values* owner, int position) : owner_(owner), position_(position) {}
        zandorel::Value operator*() const { return owner_->Item(position_); }
        const_iterator& operator++() {
            ++position_;
            return *this;
        }
        bool operator!=(const const_iterator& other) const { return position_ != other.position_; }

    private:
        const Values* owner_;
        int position_;
    };
    const_iterator begin() const { return {this, 1}; }
    const_iterator end() const { return {this, Count() + 1}; }

    static constexpr int MaxDepth = RecordScanner::MaxDepth;

private:
    struct Item_ {
        PropertyView title;  // the Title and the value, as views into texts_
        int32_t ownKey = -1; // text holding a key other than the Title
        bool keyed = false;  // keyed by its Title or ownKey
    };

    PropertyView keyOf(const Item_& item) const;
    int32_t findKey(const PropertyView& key) const;
    const QString& keep(const QString& text);

    std::vector<QString> texts_; // every text the views point into
    std::vector<Item_> items_;
    TitleIndex index_;
};

// One file record: a span of its object text.
class file {
public:
    file() = default;
    file(const QString& text, qsizetype start, qsizetype length)
        : text_(text), start_(start), length_(length) {}

    // Sets Code; its properties are read from it when asked for.
    void SetValue(const QString& yCode);
    // The same for the span [start, start + length) of a shared text.
    void SetValue(const QString& text, qsizetype start, qsizetype length);

    QString Code() const { return CodeView().toString(); }
    QStringView CodeView() const { return QStringView(text_).mid(start_, length_); }
    // Every property, read from Code.
    zandorel::Values Values() const;
    // Value of the first property of that exact Title (Values().GetValue).
    QString GetByTitle(const QString& Title) const;

private:
    QString text_;
    qsizetype start_ = 0;
    qsizetype length_ = 0;
};

// The file records of one page, in page order. Records share the page text.
class Files {
public:
    // Appends the record of the span [start, start + length) of a shared text.
    void Add(const QString& text, qsizetype start, qsizetype length);
    void Reserve(qsizetype count) { entries_.reserve(static_cast<size_t>(count)); }

    file Item(int position) const; // 1-based; std::out_of_range
    // The object text of a record, without making a `file`.
    QStringView CodeView(int position) const;
    int Count() const { return static_cast<int>(entries_.size()); }

    // Iteration yields handles that behave like pointers to files.
    class Handle {
    public:
        explicit Handle(file f) : file_(std::move(f)) {}
        const file* operator->() const { return &file_; }
        const file& operator*() const { return file_; }

    private:
        file file_;
    };
    class const_iterator {
    public:
        const_iterator(const Files* owner, int position) : owner_(owner), position_(position) {}
        Handle operator*() const { return Handle(owner_->Item(position_)); }
        const_iterator& operator++() {
            ++position_;
            return *this;
        }
        bool operator!=(const const_iterator& other) const { return position_ != other.position_; }

    private:
        const Files* owner_;
        int position_;
    };
    const_iterator begin() const { return {this, 1}; }
    const_iterator end() const { return {this, Count() + 1}; }

private:
    struct Entry {
        qsizetype start = 0;
        qsizetype length = 0;
        int32_t text = 0;
    };
    const Entry& at(int position) const;

    std::vector<QString> texts_;
    std::vector<Entry> entries_;
};

} // namespace zandorel
