// The entry parser and the property collections.

#include "share/records.h"
#include "testsupport.h"
#include "text/stringfunctions.h"

#include <QSet>
#include <gtest/gtest.h>
#include <random>
#include <tuple>

using namespace zandorel;
using zandorel::test::q;

namespace {

// "Title=Value" per property, in order.
QStringList parse(const QString& code) {
    Values values;
    values.SetAllValue(code, QString());
    QStringList out;
    for (const Value& v : values) {
        out << v.Title + u'=' + v.Value;
    }
    return out;
}

QStringList list(std::initializer_list<const char*> items) {
    QStringList out;
    for (const char* item : items) {
        out << q(item);
    }
    return out;
}

} // namespace

// What the plain cuts below give on any text, pinned on the shapes that matter.
TEST(SetAllValue, Pairs) {
    const std::pair<const char*, QStringList> rows[] = {
        {"\"name\":\"Photo\",\"size\":120,\"a\":{},\"b\":null",
         list({"name=Photo", "size=120", "a=", "b=null"})},
        // The prefix is the immediate parent.
        {"\"a\":{\"b\":{\"c\":1}}", list({"a=\"b\":{\"c\":1}", "a.b=\"c\":1", "b.c=1"})},
        // Lists of objects, and objects holding lists, stay text; a list of strings reads as pairs.
        {"\"list\":[{\"x\":1},{\"x\":2}],\"o\":{\"k\":[1,2]}",
         list({"list={\"x\":1},{\"x\":2}", "o=\"k\":[1,2]"})},
        {"\"tags\":[\"x\",\"y\",\"z\"]", list({"tags=\"x\",\"y\",\"z\"", "tags.x=y", "tags.z="})},
        {"\"Äx\":\"1\",\"äx\":\"2\"", list({"Äx=1"})},
    };
    for (const auto& [code, expected] : rows) {
        EXPECT_EQ(parse(q(code)), expected) << code;
    }
}

TEST(SetAllValue, RepeatedTitleKeepsFirst) {
    // Same-named members under same-named parents used to end the listing.
    EXPECT_EQ(
        parse(q("\"p\":{\"a\":{\"k\":1}},\"q\":{\"a\":{\"k\":2}},\"Name\":\"A\",\"name\":\"b\"")),
        list({"p=\"a\":{\"k\":1}", "p.a=\"k\":1", "a.k=1", "q=\"a\":{\"k\":2}", "q.a=\"k\":2", "Name=A"}));
    // Case folds at both ends of the alphabet only; folded repeats are dropped, keys fold.
    const std::tuple<const char*, const char*, bool> spellings[] = {
        {"Zip", "zip", true}, {"zip", "ZIP", true}, {"Abc", "abc", true},
        {"az", "AZ", true},   {"@x", "`x", false},  {"[x", "{x", false}};
    for (const auto& [first, later, folds] : spellings) {
        SCOPED_TRACE(later);
        const QString code = q("\"") + q(first) + q("\":\"1\",\"") + q(later) + q("\":\"2\"");
        Values values;
        values.SetAllValue(code, QString());
        EXPECT_EQ(values.Count(), folds ? 1 : 2);
        EXPECT_EQ(values.GetValue(q(first)), q("1"));
        EXPECT_EQ(values.GetValue(q(later)), folds ? QString() : q("2")); // titles do not fold
        EXPECT_EQ(values.Item(q(later)).Value, folds ? q("1") : q("2"));
        EXPECT_FALSE(values.Add(q(later), q("3"), q(later))); // a folded repeat too
    }
}

TEST(SetAllValue, NestingIsBoundedAtTheDepthLimit) {
    // `depth` nested objects around "end": up to MaxDepth - 1 flattened, the deepest kept as text.
    for (const int depth :
         {Values::MaxDepth - 2, Values::MaxDepth - 1, Values::MaxDepth, Values::MaxDepth + 1, 100000}) {
        SCOPED_TRACE(depth);
        QString code;
        for (int i = 0; i < depth; ++i) {
            code += QStringLiteral("\"k%1\":{").arg(i);
        }
        code += q("\"end\":1") + QString(depth, u'}');
        Values values;
        values.SetAllValue(code, QString());
        const bool flat = depth < Values::MaxDepth;
        EXPECT_EQ(values.Count(), flat ? depth + 1 : Values::MaxDepth);
        const Value last = values.Item(values.Count());
        EXPECT_EQ(last.Title,
                  flat ? QStringLiteral("k%1.end").arg(depth - 1)
                       : QStringLiteral("k%1.k%2").arg(Values::MaxDepth - 2).arg(Values::MaxDepth - 1));
        EXPECT_EQ(last.Value.contains(q("\"end\":1")), !flat);
    }
}

TEST(Values, CollectionBehaviour) {
    Values values;
    EXPECT_TRUE(values.Add(q("x"), q("1"))); // unkeyed repeats are kept
    EXPECT_TRUE(values.Add(q("x"), q("2")));
    EXPECT_EQ(values.GetValue(q("x")), q("1"));
    EXPECT_EQ(values.Item(2).Value, q("2"));
    EXPECT_THROW(values.Item(3), std::out_of_range);
    EXPECT_THROW(values.Item(0), std::out_of_range);
    EXPECT_THROW(values.Item(q("missing")), std::out_of_range);

    // Records share the page text; each is its own span of it.
    Files files;
    const QString page = q("{\"name\":\"a\"},{\"name\":\"b\"}");
    files.Add(page, 1, 10);
    files.Add(page, 14, 10);
    EXPECT_EQ(files.Count(), 2);
    EXPECT_EQ(files.Item(1).Code(), q("\"name\":\"a\""));
    EXPECT_EQ(files.Item(2).GetByTitle(q("name")), q("b"));
    EXPECT_THROW(files.Item(3), std::out_of_range);
}

namespace {

// The parser the plain way, cut by cut: what the one-pass scanner must give for any text.
void referenceLevel(const QString& code, const QString& prefix, bool hasPrefix, int depth, QStringList& out,
                    QSet<QString>& keys) {
    auto fold = [](const QString& title) {
        QString folded = title;
        for (QChar& c : folded) {
            c = QChar(FoldTitleUnit(c.unicode()));
        }
        return folded;
    };
    qsizetype p = 1;
    while (p <= code.size() && code.indexOf(u'"', p - 1) >= 0) {
        qsizetype open = 0;
        const QString key = BalancedView(code, u'"', u'"', open, p).toString();
        const QString title = hasPrefix ? prefix + u'.' + key : key;
        const qsizetype v = p + key.size() + 3;
        const QChar first = v <= code.size() ? code[v - 1] : QChar();
        QString value;
        if (first == u'"' || first == u'{' || first == u'[') {
            const QChar close = first == u'{' ? u'}' : first == u'[' ? u']' : u'"';
            value = BalancedView(code, first, close, open, v).toString();
            p = v + value.size() + 3;
        } else {
            const qsizetype comma = code.indexOf(u',', std::min(v - 1, code.size()));
            value = code.mid(v - 1, comma < 0 ? -1 : comma - (v - 1));
            p = v + value.size() + 1;
        }
        if (keys.contains(fold(title))) {
            continue;
        }
        keys.insert(fold(title));
        out << title + u'=' + value;
        if (value.startsWith(u'"') && !value.contains(u'[') && depth + 1 < Values::MaxDepth) {
            referenceLevel(value, key, true, depth + 1, out, keys);
        }
    }
}

} // namespace

TEST(SetAllValue, SameAsThePlainCutsOnAnyText) {
    // Random texts of delimiters and keys: unclosed quotes, braces, brackets, commas, repeats.
    const char* const pieces[] = {
        "\"",     "{",      "}",      "[",     "]",       ",",        ":",    "a",
        "A",      ".",      "\"a\":", "\"\":", "\"b\":{", "\"a\":[",  ",,,,", "\"x.y\":",
        "\"é\":", "\"É\":", "1",      "\"\"",  "{\"",     "\"a\":\"", "xx"};
    std::mt19937 random(17);
    for (int round = 0; round < 20000; ++round) {
        QString code;
        const int count = static_cast<int>(random() % 40);
        for (int i = 0; i < count; ++i) {
            code += q(pieces[random() % std::size(pieces)]);
        }
        QStringList want;
        QSet<QString> keys;
        referenceLevel(code, QString(), false, 0, want, keys);
        ASSERT_EQ(parse(code), want) << code.toStdString();
        // A record read when asked finds the same first property of each title.
        file record;
        record.SetValue(code);
        for (const QString& pair : want) {
            const QString title = pair.section(u'=', 0, 0);
            ASSERT_EQ(record.GetByTitle(title), pair.section(u'=', 1))
                << code.toStdString() << " " << title.toStdString();
        }
    }
}
