#include "share/openunicode.h"

#include "text/textcodec.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zandorel {

namespace {

constexpr qsizetype ChunkSize = 1 << 20;

// The length of the longest prefix of `bytes` that ends on a boundary
// between UTF-8 sequences: a sequence cut short at the end is left for the
// next chunk, so decoding chunk by chunk gives what decoding all at once gives.
qsizetype completeSequences(const char* bytes, qsizetype size) {
    for (qsizetype back = 1; back <= 4 && back <= size; ++back) {
        const auto b = static_cast<unsigned char>(bytes[size - back]);
        if ((b & 0xC0) == 0x80) {
            continue; // a continuation byte: look further back for its lead
        }
        const qsizetype needed = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return needed > back ? size - back : size;
    }
    return size;
}

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

FileError readError(const QString& path, int error) {
    return FileError(QStringLiteral("cannot read %1: %2")
                         .arg(path, QString::fromLocal8Bit(strerror(error)))
                         .toStdString());
}

// Reads up to `size` bytes; fewer only at the end of the file.
qsizetype readSome(int fd, char* into, qsizetype size, const QString& path) {
    qsizetype got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, into + got, static_cast<size_t>(size - got));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw readError(path, errno);
        }
        if (n == 0) {
            break;
        }
        got += n;
    }
    return got;
}

} // namespace

QString ReadTextFile(const QString& path) {
    if (path.isEmpty()) {
        return QString();
    }
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        return QString();
    }
    // Opened without waiting, and checked again once open: a path that has
    // become a pipe or a device since is never read.
    const QByteArray name = QFile::encodeName(path);
    const Descriptor fd(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) {
        throw FileError(QStringLiteral("cannot open %1: %2")
                            .arg(path, QString::fromLocal8Bit(strerror(errno)))
                            .toStdString());
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return QString();
    }

    // A page of tens of megabytes is decoded a chunk at a time into text
    // sized for the whole file (UTF-8 never takes more characters than
    // bytes), so the bytes and the text are never both held whole.
    QByteArray chunk(ChunkSize + 4, Qt::Uninitialized);
    qsizetype carried = 0;
    qsizetype got = readSome(fd.get(), chunk.data(), ChunkSize, path);
    if (got == 0) {
        return QString(1, QChar(u'\0'));
    }
    const bool bom = got >= 3 && chunk.startsWith("\xEF\xBB\xBF");
    QString text(std::max<qsizetype>(static_cast<qsizetype>(st.st_size), got), Qt::Uninitialized);
    QChar* const begin = text.data();
    QChar* end = begin;
    // Without a byte-order mark a page must be UTF-8 throughout to be read as
    // UTF-8; with one, broken bytes become U+FFFD. The decoder keeps a
    // byte-order mark in the text; the one that marks the file is dropped
    // here, and one more right after it, as the UTF-8 reading always has.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    qsizetype skip =
        bom ? (got >= 6 && QByteArrayView(chunk).sliced(3).startsWith("\xEF\xBB\xBF") ? 6 : 3) : 0;
    bool utf8 = true;
    while (true) {
        const qsizetype available = carried + got;
        const bool last = got < ChunkSize;
        const qsizetype complete = last ? available : completeSequences(chunk.constData(), available);
        const QByteArrayView bytes(chunk.constData() + skip, complete - skip);
        if (end - begin + bytes.size() > text.size()) {
            const qsizetype used = end - begin;
            text.resize(used + bytes.size() + ChunkSize); // the file grew while it was read
            end = text.data() + used;
        }
        end = decoder.appendToBuffer(end, bytes);
        if (!bom && decoder.hasError()) {
            utf8 = false;
            break;
        }
        skip = 0;
        if (last) {
            break;
        }
        carried = available - complete;
        memmove(chunk.data(), chunk.constData() + complete, static_cast<size_t>(carried));
        got = readSome(fd.get(), chunk.data() + carried, ChunkSize, path);
    }
    if (utf8) {
        text.truncate(end - text.constData());
        return text;
    }
    // Not UTF-8: the legacy code page, read again from the start.
    text = QString();
    if (::lseek(fd.get(), 0, SEEK_SET) != 0) {
        throw readError(path, errno);
    }
    QByteArray all;
    all.reserve(static_cast<qsizetype>(st.st_size));
    while (true) {
        const qsizetype at = all.size();
        all.resize(at + ChunkSize);
        const qsizetype n = readSome(fd.get(), all.data() + at, ChunkSize, path);
        all.truncate(at + n);
        if (n < ChunkSize) {
            break;
        }
    }
    return DecodeLegacy(all);
}

void WriteTextFile(const QString& path, const QString& text) {
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw FileError(QStringLiteral("cannot write %1: %2").arg(path, out.errorString()).toStdString());
    }
    const QByteArray bytes = EncodeLegacy(text);
    if (out.write(bytes) != bytes.size() || !out.flush()) {
        throw FileError(QStringLiteral("cannot write %1: %2").arg(path, out.errorString()).toStdString());
    }
}

} // namespace zandorel
