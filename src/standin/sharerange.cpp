#include "sharerange.h"

#include "sharetext.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

namespace zandorel::standin {
namespace {

constexpr std::uint64_t kHuge = std::numeric_limits<std::uint64_t>::max();

std::string_view trimmed(std::string_view text) {
    const std::size_t from = text.find_first_not_of(" \t");
    if (from == std::string_view::npos) {
        return {};
    }
    return text.substr(from, text.find_last_not_of(" \t") - from + 1);
}

bool allDigits(std::string_view text) {
    if (text.empty()) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

// The value of a run of digits, kHuge for any value that does not fit.
std::uint64_t valueOf(std::string_view digits) {
    std::uint64_t value = 0;
    for (const char c : digits) {
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (kHuge - digit) / 10) {
            return kHuge;
        }
        value = value * 10 + digit;
    }
    return value;
}

// Compares two runs of digits by value, whatever their length.
int compareDigits(std::string_view a, std::string_view b) {
    a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
    b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b);
}

} // namespace

RangeChoice chooseRange(std::string_view range, std::uint64_t size) {
    const RangeChoice whole;
    const std::size_t equals = range.find('=');
    if (equals == std::string_view::npos || !equalsIgnoringCase(trimmed(range.substr(0, equals)), "bytes")) {
        return whole;
    }
    // A list: elements split by commas, empty ones allowed.
    std::vector<std::string_view> elements;
    std::string_view rest = range.substr(equals + 1);
    while (true) {
        const std::size_t comma = rest.find(',');
        const std::string_view element = trimmed(rest.substr(0, comma));
        if (!element.empty()) {
            elements.push_back(element);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        rest.remove_prefix(comma + 1);
    }
    if (elements.size() != 1) {
        return whole;
    }
    const std::string_view one = elements.front();
    const std::size_t dash = one.find('-');
    if (dash == std::string_view::npos) {
        return whole;
    }
    const std::string_view firstText = one.substr(0, dash);
    const std::string_view lastText = one.substr(dash + 1);

    if (firstText.empty()) {
        // "-N": the last N bytes.
        if (!allDigits(lastText)) {
            return whole;
        }
        const std::uint64_t suffix = valueOf(lastText);
        if (suffix == 0) {
            return {RangeChoice::Unsatisfiable, 0, 0};
        }
        if (size == 0) {
            return whole;
        }
        const std::uint64_t length = std::min(suffix, size);
        return {RangeChoice::Part, size - length, length};
    }
    if (!allDigits(firstText) || (!lastText.empty() && !allDigits(lastText))) {
        return whole;
    }
    if (!lastText.empty() && compareDigits(lastText, firstText) < 0) {
        return whole; // an invalid range
    }
    const std::uint64_t first = valueOf(firstText);
    if (first >= size) {
        return {RangeChoice::Unsatisfiable, 0, 0};
    }
    const std::uint64_t last = lastText.empty() ? size - 1 : std::min(valueOf(lastText), size - 1);
    return {RangeChoice::Part, first, last - first + 1};
}

std::string contentRange(const RangeChoice& choice, std::uint64_t size) {
    if (choice.kind == RangeChoice::Part) {
        return "bytes " + std::to_string(choice.first) + "-" +
               std::to_string(choice.first + choice.length - 1) + "/" + std::to_string(size);
    }
    return "bytes */" + std::to_string(size);
}

} // namespace zandorel::standin
