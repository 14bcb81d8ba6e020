#pragma once
// File records of one folder page. Each entry object of the listing becomes a
// `file` whose `Values` hold its properties as ordered Title/Value pairs,
// nested objects flattened into dotted Titles.

#include <QHash>
#include <QList>
#include <QString>
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

    // Appends a property. Returns false, and appends nothing, when `sKey` is
    // already a key of the collection.
    bool Add(const QString& Title, const QString& Value, const QString& sKey = QString());

    // Value of the first property whose Title equals `Title` exactly.
    QString GetValue(const QString& Title) const;

    const zandorel::Value& Item(int position) const;  // 1-based; std::out_of_range
    const zandorel::Value& Item(const QString& key) const;
    bool Contains(const QString& key) const;
    int Count() const { return static_cast<int>(items_.size()); }
    void Remove(int position);
    void Remove(const QString& key);

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    // How deep nested objects are flattened. Deeper text stays, unflattened,
    // as the value of its parent's member.
    static constexpr int MaxDepth = 32;

private:
    void parse(QStringView code, const QString& prefix, int depth);
    qsizetype find(const QString& key) const;
    void rebuildIndex();
    static QString fold(const QString& key);

    QList<zandorel::Value> items_;
    QList<QString> keys_;              // key of each item, empty when none
    QHash<QString, qsizetype> index_;  // folded key -> 0-based position
};

// One file record.
class file {
public:
    // Sets Code and parses it into Values.
    void SetValue(const QString& yCode);

    const QString& Code() const { return code_; }
    void SetCode(const QString& code) { code_ = code; }
    zandorel::Values& GetValues() { return values_; }
    const zandorel::Values& Values() const { return values_; }
    // Forwards to Values().GetValue.
    QString GetByTitle(const QString& Title) const { return values_.GetValue(Title); }

private:
    QString code_;
    zandorel::Values values_;
};

// The file records of one page, in page order.
class Files {
public:
    // Creates a record from the object text, parses it, then appends it.
    file& Add(const QString& Code, const QString& sKey = QString());
    const file& Item(int position) const;  // 1-based; std::out_of_range
    const file& Item(const QString& key) const;
    int Count() const { return static_cast<int>(items_.size()); }
    void Remove(int position);

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<std::unique_ptr<file>> items_;
    QHash<QString, qsizetype> keys_;
};

}  // namespace zandorel
