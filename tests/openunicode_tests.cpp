// Saved pages read a chunk at a time give what the whole file read at once gives.

#include "share/openunicode.h"
#include "testsupport.h"
#include "text/textcodec.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

using namespace zandorel;
using zandorel::test::q;

namespace {

QString referenceRead(const QByteArray& bytes) {
    if (bytes.isEmpty()) {
        return QString(1, QChar(u'\0'));
    }
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    }
    return IsValidUtf8(bytes) ? QString::fromUtf8(bytes) : DecodeLegacy(bytes);
}

class ReadTest : public test::FolderTest {
protected:
    void check(const std::string& name, const QByteArray& bytes) {
        SCOPED_TRACE(name);
        const QString got = ReadTextFile(write(bytes, "page.html"));
        const QString want = referenceRead(bytes);
        ASSERT_EQ(got.size(), want.size());
        EXPECT_TRUE(got == want);
    }
};

constexpr qsizetype Chunk = 1 << 20;

} // namespace

// Each sequence (whole, cut, stray, overlong...) across the first chunk's end, BOM or not.
TEST_F(ReadTest, SequencesAcrossChunkBoundaries) {
    for (const QByteArray sequence : {"\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xEF\xBB\xBF",
                                      "\xE4\xB8x", "\x80", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        for (qsizetype back = 0; back <= 5; ++back) {
            for (const bool bom : {false, true}) {
                QByteArray bytes = bom ? QByteArray("\xEF\xBB\xBF") : QByteArray();
                bytes += QByteArray(Chunk - back - bytes.size(), 'a') + sequence +
                         QByteArray("var primedResponse={\"children\":[{\"name\":\"中\"}]};");
                check(sequence.toHex().toStdString() + " at -" + std::to_string(back) +
                          (bom ? " after a BOM" : ""),
                      bytes);
            }
        }
    }
    // Ends cut short, files of about one chunk, marks alone.
    check("ends cut short", QByteArray(Chunk, 'a') + "\xF0\x9F\x98");
    check("exactly one chunk", QByteArray(Chunk, 'b'));
    check("one chunk and a byte", QByteArray(Chunk, 'b') + "c");
    check("empty", QByteArray());
    check("two marks", QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx"));
    check("a mark alone", QByteArray("\xEF\xBB\xBF"));
    // Legacy pages of several chunks, the bad byte early or late.
    const QByteArray gbk = EncodeLegacy(q("var primedResponse={\"children\":[{\"name\":\"会议纪要\"}]};"));
    check("GB18030, short", gbk);
    check("GB18030 after a chunk of ASCII", QByteArray(Chunk + 17, ' ') + gbk);
    check("GB18030 then ASCII", gbk + QByteArray(3 * Chunk, ' '));
}

TEST_F(ReadTest, RandomBytesAgreeWithTheWholeFileReading) {
    QRandomGenerator random(7);
    const QByteArray pieces[] = {"a",    "\xC3\xA9",     "\xE4\xB8\xAD", "\xF0\x9F\x98\x80",
                                 "\x80", "\xC0",         "\xE4\xB8",     "\xEF\xBB\xBF",
                                 "\xFF", "\xED\xA0\x80", "\xEF\xBF\xBE", "\x00"};
    for (int round = 0; round < 400; ++round) {
        QByteArray bytes;
        const int count = static_cast<int>(random.bounded(24));
        for (int i = 0; i < count; ++i) {
            bytes += pieces[random.bounded(static_cast<int>(std::size(pieces)))];
        }
        check("round " + std::to_string(round), bytes);
    }
}

TEST_F(ReadTest, OnlyRegularFilesAreRead) {
    for (const QString& path : {dir.path(), dir.filePath(q("missing.html")), QString()}) {
        EXPECT_TRUE(ReadTextFile(path).isEmpty()) << path.toStdString();
    }
}
