#pragma once
// File records of one folder page. Each entry object of the listing becomes a
// `file` whose `Values` hold its properties as ordered Title/Value pairs,
// nested objects flattened into dotted Titles.
//
// A listing of many thousands of files holds hundreds of thousands of
// properties, so the collections keep them as spans of the record's text
// (shared, never copied) and make Title and Value texts only when asked.

#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace zandorel {

// One property.
struct Value {
    QString Title;
    QString Value;
};

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
    bool Contains(const QString& key) const;
    int Count() const { return static_cast<int>(items_.size()); }
    void Remove(int position);
    void Remove(const QString& key);

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

    // How deep nested objects are flattened. Deeper text stays, unflattened,
    // as the value of its parent's member.
    static constexpr int MaxDepth = 32;

private:
    // Offsets are 32-bit: a listing holds millions of properties, and no
    // page comes near 2^31 characters.
    struct Span {
        int32_t text = -1; // index into texts_; -1 for an absent part
        int32_t start = 0;
        int32_t length = 0;
    };
    struct Item_ {
        Span prefix; // Title is prefix + "." + key, or key alone without a prefix
        Span key;
        Span value;
        int32_t ownKey = -1; // text holding a key other than the Title
        int32_t titleSize = 0;
        uint32_t keyHash = 0; // of the folded key, to pass over most keys at once
        bool keyed = false;   // keyed by its Title (the only key the parser gives)
    };
    struct TitleView {
        QStringView prefix;
        QStringView key;
        bool hasPrefix = false;
        qsizetype size() const { return hasPrefix ? prefix.size() + 1 + key.size() : key.size(); }
        QChar at(qsizetype i) const;
        QString toString() const;
    };

    void parse(int text, QStringView code, const Span& prefix, int depth);
    int addText(const QString& text);
    QStringView view(const Span& span) const;
    TitleView title(const Item_& item) const;
    TitleView keyOf(const Item_& item) const;
    qsizetype findKey(const TitleView& key, uint32_t hash) const;
    static uint32_t hashFolded(const TitleView& key);
    bool append(Item_& item);
    void rebuildIndex();
    static QString fold(const TitleView& key);

    std::vector<QString> texts_;
    std::vector<Item_> items_;
    QHash<QString, qsizetype> index_; // folded key -> 0-based position, for large collections
    bool indexed_ = false;
};

// One file record.
class file {
public:
    // Sets Code and parses it into Values.
    void SetValue(const QString& yCode);
    // The same for the span [start, start + length) of a shared text.
    void SetValue(const QString& text, qsizetype start, qsizetype length);

    QString Code() const { return text_.mid(start_, length_); }
    zandorel::Values& GetValues() { return values_; }
    const zandorel::Values& Values() const { return values_; }
    // Forwards to Values().GetValue.
    QString GetByTitle(const QString& Title) const { return values_.GetValue(Title); }

private:
    QString text_;
    qsizetype start_ = 0;
    qsizetype length_ = 0;
    zandorel::Values values_;
};

// The file records of one page, in page order.
class Files {
public:
    // Creates a record from the object text, parses it, then appends it.
    file& Add(const QString& Code, const QString& sKey = QString());
    // The same for the span [start, start + length) of a shared text.
    file& Add(const QString& text, qsizetype start, qsizetype length);
    const file& Item(int position) const; // 1-based; std::out_of_range
    const file& Item(const QString& key) const;
    int Count() const { return static_cast<int>(items_.size()); }
    void Remove(int position);

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<std::unique_ptr<file>> items_;
    QHash<QString, qsizetype> keys_;
};

} // namespace zandorel
