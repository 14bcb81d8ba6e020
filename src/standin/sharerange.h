#pragma once
// Byte ranges of a download (HTTP Range header, RFC 9110 section 14): one
// range, "N-M", "N-" or "-N", its end clamped to the file. A header that is
// malformed, names another unit or asks for several ranges is ignored and the
// whole file sent; so is a suffix of an empty file, which has no bytes to
// send. Figures of any size are taken without overflow.

#include <cstdint>
#include <string>
#include <string_view>

namespace zandorel::standin {

struct RangeChoice {
    enum Kind {
        Whole,        // 200 with the whole file
        Part,         // 206 with `length` bytes from `first`
        Unsatisfiable // 416
    };
    Kind kind = Whole;
    std::uint64_t first = 0;
    std::uint64_t length = 0;
};

RangeChoice chooseRange(std::string_view range, std::uint64_t size);

// "bytes 0-99/1000" for a part, "bytes */1000" for an unsatisfiable range.
std::string contentRange(const RangeChoice& choice, std::uint64_t size);

} // namespace zandorel::standin
