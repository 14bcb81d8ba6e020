#pragma once
// Whole text files in and out: saved folder pages and the extraction dump.

#include <QString>
#include <stdexcept>

namespace zandorel {

class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole file as text. A missing path (or one that is not an ordinary
// file) gives empty text; an empty file gives one U+0000. Bytes that start
// with a UTF-8 byte-order mark, or are valid UTF-8 throughout, are read as
// UTF-8; anything else as GB18030. Raises FileError when the file exists but
// cannot be read.
QString ReadTextFile(const QString& path);

// Creates or replaces the file with the text in GB18030 (no line end added).
// Raises FileError when it cannot be written.
void WriteTextFile(const QString& path, const QString& text);

} // namespace zandorel
