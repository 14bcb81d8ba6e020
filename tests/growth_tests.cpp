// Listing time grows with the page, not faster, whatever the records' shape.

#include "share/linklist.h"
#include "share/sdpage.h"
#include "testsupport.h"

#include <QSet>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <unordered_map>

using namespace zandorel;
using zandorel::test::q;

namespace {

QString page(const QString& record, const QString& after = QString()) {
    return QStringLiteral("var primedResponse={\"children\":[{") + record + u'}' + after +
           QStringLiteral("]};");
}

// 32-bit FNV-1a over UTF-16 units, the title hash the index once used.
uint32_t fnv(const std::u16string& units, uint32_t h) {
    for (char16_t u : units) {
        h = (h ^ u) * 16777619u;
    }
    return h;
}

// Pairs of distinct 4-unit CJK blocks (which case folding leaves alone), each
// pair taking FNV-1a from the state before it to one state: a birthday search.
const std::vector<std::pair<std::u16string, std::u16string>>& collidingBlocks() {
    static const auto pairs = [] {
        std::vector<std::pair<std::u16string, std::u16string>> found;
        std::mt19937 random(17);
        uint32_t state = 2166136261u;
        while (found.size() < 16) {
            std::unordered_map<uint32_t, std::u16string> seen;
            while (true) {
                std::u16string block;
                for (int unit = 0; unit < 4; ++unit) {
                    block += char16_t(0x4E00 + random() % 0x4000);
                }
                const uint32_t h = fnv(block, state);
                const auto [at, inserted] = seen.emplace(h, block);
                if (!inserted && at->second != block) {
                    found.emplace_back(at->second, block);
                    state = h;
                    break;
                }
            }
        }
        return found;
    }();
    return pairs;
}

// 2^k distinct titles of 4k units with one FNV-1a value.
std::vector<QString> collidingTitles(int k) {
    const auto& pairs = collidingBlocks();
    std::vector<QString> titles;
    for (uint32_t choice = 0; choice < (1u << k); ++choice) {
        std::u16string title;
        for (int i = 0; i < k; ++i) {
            const auto& pair = pairs[static_cast<size_t>(i)];
            title += ((choice >> i) & 1) ? pair.second : pair.first;
        }
        titles.push_back(QString::fromStdU16String(title));
    }
    return titles;
}

// Hostile shapes of a page of about `size` characters.
const std::pair<const char*, std::function<QString(qsizetype size)>> shapes[] = {
    {"benign",
     [](qsizetype size) {
         QString list;
         for (int i = 0; list.size() < size; ++i) {
             list += QStringLiteral("%1{\"name\":\"f%2\",\"extension\":\".txt\",\"size\":%2,"
                                    "\"urls\":{\"download\":\"http://h/d?id=%2\"},\"tags\":[\"a\",\"b\"],"
                                    "\"sharingLevelValue\":0}")
                         .arg(i ? QStringLiteral(",") : QString())
                         .arg(i);
         }
         return QStringLiteral("var primedResponse={\"children\":[") + list + QStringLiteral("]};");
     }},
    {"brackets that never close in the record",
     [](qsizetype n) {
         return page(q("\"name\":\"q\",") + q("\"\":[xx").repeated(n / 6), QString(n / 6, u']'));
     }},
    {"braces that close at the end",
     [](qsizetype n) {
         return page(q("\"name\":\"q\",") + q("\"\":{xx").repeated(n / 6) + QString(n / 6, u'}'));
     }},
    {"a run of commas",
     [](qsizetype n) { return page(q("\"name\":\"q\",\"a\":") + QString(n, u',') + q("\"b\":1")); }},
    {"a key that never closes",
     [](qsizetype n) {
         return page(q("\"name\":\"q\",\"a\":") + QString(n / 2, u',') + u'"' + QString(n / 2, u'k'));
     }},
    {"strings that never close",
     [](qsizetype n) { return page(q("\"name\":\"q\",") + q("\"a\":\"x,").repeated(n / 7)); }},
    {"nested past the depth limit",
     [](qsizetype size) {
         QString inner;
         for (int i = 0; inner.size() < size; ++i) {
             inner += QStringLiteral("\"k%1\":\"v\",").arg(i);
         }
         return page(q("\"name\":\"q\",") + q("\"a\":{").repeated(40) + inner + QString(40, u'}'));
     }},
    {"members repeating a Title split at another dot",
     [](qsizetype size) {
         const QString parent = QString(size / 4, u'P');
         return page(q("\"name\":\"q\",\"") + parent + q("\":{\"y.a\":1},\"") + parent + q(".y\":{") +
                     q("\"a\":1,").repeated(size / 12) + q("\"z\":1}"));
     }},
    {"members repeated under a long parent name",
     [](qsizetype size) {
         const QString parent = QString(size / 4, u'P');
         return page(q("\"name\":\"q\",\"") + parent + q("\":{\"a\":1},\"x\":{\"") + parent.toLower() +
                     q("\":{") + q("\"A\":1,").repeated(size / 12) + q("\"z\":1}}"));
     }},
};

// The least of five runs: listing, one absent property per record, the first record whole.
double listingSeconds(const QString& text) {
    double best = 1e9;
    for (int run = 0; run < 5; ++run) {
        const double start = test::threadSeconds();
        SDPage p;
        test::listText(p, text);
        LinkTemplates t;
        t.codeFormat = q("%t(name)%t(absent)");
        t.captionTemplate = q("%t(name)");
        t.warnTemplate = q("!");
        t.joinFormat = q("$1\\n");
        const LinkList list = BuildLinkList(p, t);
        EXPECT_FALSE(list.rows.isEmpty());
        EXPECT_GT(p.Files().Item(1).Values().Count(), 0);
        best = std::min(best, test::threadSeconds() - start);
    }
    return best;
}

// Four times the text: about four times the time, never sixteen. A ratio
// over the bound is measured again, both sizes afresh (other programs share
// the caches); a page that really grows faster stays far over it every time.
double growth(const QString& smallPage, const QString& largePage, double floor) {
    double ratio = 1e9;
    for (int attempt = 0; attempt < 3 && ratio >= 6.0; ++attempt) {
        ratio = std::min(ratio, listingSeconds(largePage) / std::max(listingSeconds(smallPage), floor));
    }
    return ratio;
}

} // namespace

TEST(ListingGrowth, EveryShapeInProportionToItsSize) {
    for (const auto& [name, make] : shapes) {
        SCOPED_TRACE(name);
        // A shape listed in a few ms is timed on a larger page, so caches and timer grain don't decide.
        qsizetype size = 1 << 20;
        while (listingSeconds(make(size)) < 0.02 && size < (8 << 20)) {
            size *= 2;
        }
        EXPECT_LT(growth(make(size), make(4 * size), 0.02), 6.0) << size << " characters";
    }
}

// Distinct titles of one FNV-1a value: time in proportion to their count, kept in page order.
TEST(ListingGrowth, TitlesSharingOneOldHashValue) {
    auto record = [](int k) {
        QString text = q("\"name\":\"q\"");
        for (const QString& title : collidingTitles(k)) {
            text += QStringLiteral(",\"%1\":1").arg(title);
        }
        return page(text);
    };
    const std::vector<QString> titles = collidingTitles(3);
    ASSERT_EQ(QSet<QString>(titles.begin(), titles.end()).size(), 8);
    for (const QString& title : titles) {
        ASSERT_EQ(fnv(title.toStdU16String(), 2166136261u), fnv(titles[0].toStdU16String(), 2166136261u));
    }
    EXPECT_LT(growth(record(13), record(15), 1e-4), 6.0);
    SDPage p;
    test::listText(p, record(10));
    const Values values = p.Files().Item(1).Values();
    ASSERT_EQ(values.Count(), 1 + 1024);
    EXPECT_EQ(values.Item(2).Title, collidingTitles(10)[0]);
    EXPECT_EQ(values.Item(1025).Title, collidingTitles(10)[1023]);
}
