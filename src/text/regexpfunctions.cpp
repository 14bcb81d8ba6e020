#include "text/regexpfunctions.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <memory>
#include <pcre2.h>
#include <unordered_map>

namespace zandorel {
namespace {

struct CodeDeleter {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
using CodePtr = std::shared_ptr<pcre2_code>;

PCRE2_SPTR16 units(const QString& text) {
    return reinterpret_cast<PCRE2_SPTR16>(text.utf16());
}

QString errorText(int code) {
    PCRE2_UCHAR16 buffer[256];
    int n = pcre2_get_error_message(code, buffer, 256);
    return n > 0 ? QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer), n) : QString::number(code);
}

// Compiled patterns are kept per thread: the same few patterns run once per
// file of a listing, and compiling them anew each time would dominate.
CodePtr compile(const QString& pattern) {
    thread_local std::unordered_map<QString, CodePtr> cache;
    if (auto it = cache.find(pattern); it != cache.end()) {
        return it->second;
    }
    std::unique_ptr<pcre2_compile_context, decltype(&pcre2_compile_context_free)> context(
        pcre2_compile_context_create(nullptr), &pcre2_compile_context_free);
    pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
    int error = 0;
    PCRE2_SIZE offset = 0;
    const uint32_t options =
        PCRE2_CASELESS | PCRE2_DOLLAR_ENDONLY | PCRE2_UTF | PCRE2_MATCH_INVALID_UTF | PCRE2_NEVER_BACKSLASH_C;
    pcre2_code* raw = pcre2_compile(units(pattern), static_cast<PCRE2_SIZE>(pattern.size()), options, &error,
                                    &offset, context.get());
    if (!raw) {
        throw PatternError(QStringLiteral("bad pattern \"%1\" at %2: %3")
                               .arg(pattern)
                               .arg(offset)
                               .arg(errorText(error))
                               .toStdString());
    }
    pcre2_jit_compile(raw, PCRE2_JIT_COMPLETE); // falls back to the interpreter when JIT is missing
    CodePtr code(raw, CodeDeleter());
    if (cache.size() >= 256) {
        cache.clear();
    }
    cache.emplace(pattern, code);
    return code;
}

struct MatchContext {
    pcre2_match_context* context = nullptr;
    pcre2_jit_stack* stack = nullptr;
    MatchContext() {
        context = pcre2_match_context_create(nullptr);
        // The program's patterns are linear in the text they scan; a
        // page-sized text must not run into the default step limit.
        pcre2_set_match_limit(context, UINT32_MAX);
        stack = pcre2_jit_stack_create(size_t{32} * 1024, size_t{8} * 1024 * 1024, nullptr);
        if (stack) {
            pcre2_jit_stack_assign(context, nullptr, stack);
        }
    }
    ~MatchContext() {
        pcre2_jit_stack_free(stack);
        pcre2_match_context_free(context);
    }
    MatchContext(const MatchContext&) = delete;
    MatchContext& operator=(const MatchContext&) = delete;
};

pcre2_match_context* matchContext() {
    thread_local MatchContext ctx;
    return ctx.context;
}

// One match: group spans as code-unit offsets, PCRE2_UNSET for groups that
// took no part.
struct Match {
    QList<qsizetype> spans; // start0, end0, start1, end1, ...
    qsizetype start() const { return spans[0]; }
    qsizetype end() const { return spans[1]; }
    qsizetype groups() const { return spans.size() / 2; }
};

// Calls `onMatch` for every match from left to right; returns false to stop.
template <typename F>
void forEachMatch(const CodePtr& code, const QString& subject, bool global, F&& onMatch) {
    std::unique_ptr<pcre2_match_data, decltype(&pcre2_match_data_free)> data(
        pcre2_match_data_create_from_pattern(code.get(), nullptr), &pcre2_match_data_free);
    const PCRE2_SIZE length = static_cast<PCRE2_SIZE>(subject.size());
    PCRE2_SIZE offset = 0;
    uint32_t flags = 0;
    while (offset <= length) {
        int rc = pcre2_match(code.get(), units(subject), length, offset, flags, data.get(), matchContext());
        if (rc == PCRE2_ERROR_NOMATCH) {
            if (flags == 0) {
                return;
            }
            // An empty match was found here before: step over one character.
            flags = 0;
            offset += 1;
            if (offset < length && QChar::isLowSurrogate(subject.at(offset).unicode()) &&
                QChar::isHighSurrogate(subject.at(offset - 1).unicode())) {
                offset += 1;
            }
            continue;
        }
        if (rc < 0) {
            throw PatternError(QStringLiteral("match failed: %1").arg(errorText(rc)).toStdString());
        }
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
        const uint32_t pairs = pcre2_get_ovector_count(data.get());
        Match match;
        match.spans.reserve(qsizetype{pairs} * 2);
        for (uint32_t i = 0; i < pairs * 2; ++i) {
            match.spans.append(ovector[i] == PCRE2_UNSET ? -1 : static_cast<qsizetype>(ovector[i]));
        }
        if (!onMatch(match) || !global) {
            return;
        }
        offset = ovector[1];
        flags = ovector[0] == ovector[1] ? (PCRE2_NOTEMPTY_ATSTART | PCRE2_ANCHORED) : 0;
    }
}

QString groupText(const QString& subject, const Match& match, qsizetype group) {
    if (group >= match.groups() || match.spans[group * 2] < 0) {
        return QString();
    }
    return subject.mid(match.spans[group * 2], match.spans[group * 2 + 1] - match.spans[group * 2]);
}

// Appends the template to `out` with its `$` references filled from the match.
void appendExpanded(QString& out, const QString& replacement, const QString& subject, const Match& match) {
    const qsizetype n = replacement.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = replacement.at(i);
        if (c != u'$' || i + 1 >= n) {
            out.append(c);
            continue;
        }
        const QChar next = replacement.at(i + 1);
        if (next == u'$') {
            out.append(u'$');
            ++i;
        } else if (next == u'&') {
            out.append(groupText(subject, match, 0));
            ++i;
        } else if (next.isDigit() && next.unicode() < 128) {
            qsizetype group = next.unicode() - u'0';
            qsizetype used = 1;
            if (i + 2 < n && replacement.at(i + 2).unicode() < 128 && replacement.at(i + 2).isDigit()) {
                const qsizetype two = group * 10 + (replacement.at(i + 2).unicode() - u'0');
                if (two > 0 && two < match.groups()) {
                    group = two;
                    used = 2;
                }
            }
            if (group > 0 && group < match.groups()) {
                out.append(groupText(subject, match, group));
                i += used;
            } else {
                out.append(c);
            }
        } else {
            out.append(c);
        }
    }
}

QString replaceWith(const CodePtr& code, const QString& source, const QString& replacement) {
    QString out;
    qsizetype copied = 0;
    forEachMatch(code, source, true, [&](const Match& match) {
        if (out.isEmpty()) {
            out.reserve(source.size());
        }
        out.append(QStringView(source).mid(copied, match.start() - copied));
        appendExpanded(out, replacement, source, match);
        copied = match.end();
        return true;
    });
    if (copied == 0 && out.isEmpty()) {
        return source;
    }
    out.append(QStringView(source).mid(copied));
    return out;
}

} // namespace

QString RegReplace(const QString& source, const QString& pattern, const QString& replacement) {
    return replaceWith(compile(pattern), source, replacement);
}

bool RegTest(const QString& source, const QString& pattern) {
    bool found = false;
    forEachMatch(compile(pattern), source, false, [&](const Match&) {
        found = true;
        return false;
    });
    return found;
}

QString RegExtract(const QString& source, const QString& pattern, const QString& defaultText) {
    QString joined;
    bool found = false;
    forEachMatch(compile(pattern), source, true, [&](const Match& match) {
        found = true;
        joined.append(QStringView(source).mid(match.start(), match.end() - match.start()));
        return true;
    });
    return found ? joined : defaultText;
}

int RegMatches(const QString& source, const QString& pattern, QList<MatchRecord>& records,
               const QString& rewrites) {
    const CodePtr code = compile(pattern);
    const QStringList templates = rewrites.split(QChar(u'\0'));
    int count = 0;
    forEachMatch(code, source, true, [&](const Match& match) {
        if (records.size() <= count) {
            records.resize(count + 1);
        }
        MatchRecord& record = records[count];
        record.Value = groupText(source, match, 0);
        record.Rewrites.clear();
        record.Rewrites.reserve(templates.size());
        for (const QString& tmpl : templates) {
            record.Rewrites.append(replaceWith(code, record.Value, tmpl));
        }
        ++count;
        return true;
    });
    return count;
}

bool RegFirstGroup(const QString& source, const QString& pattern, int group, qsizetype& start,
                   qsizetype& length) {
    bool found = false;
    forEachMatch(compile(pattern), source, false, [&](const Match& match) {
        const qsizetype at = qsizetype{group} * 2;
        if (group < match.groups() && match.spans[at] >= 0) {
            start = match.spans[at];
            length = match.spans[at + 1] - start;
            found = true;
        }
        return false;
    });
    return found;
}

QString ExpandJoinFormat(const QString& linkText, const QString& format) {
    QString text = RegReplace(format, QStringLiteral("\\\\r"), QStringLiteral("\r"));
    text = RegReplace(text, QStringLiteral("\\\\n"), QStringLiteral("\n"));
    // The link text goes in as it stands: a "$" in a link is not a reference.
    return RegReplace(text, QStringLiteral("\\$1"), QString(linkText).replace(u'$', QStringLiteral("$$")));
}

QString RegEscape(const QString& text) {
    QString out;
    out.reserve(text.size() * 2);
    for (QChar c : text) {
        if (c.unicode() < 128 && !c.isLetterOrNumber() && c != u'_') {
            out.append(u'\\');
        }
        out.append(c);
    }
    return out;
}

} // namespace zandorel
