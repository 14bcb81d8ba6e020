#include "text/placeholders.h"

#include "text/appinfo.h"
#include "text/regexpfunctions.h"

#include <QHash>
#include <QSet>
#include <QtGlobal>

namespace zandorel {
namespace {

bool is(const QString& name, QLatin1StringView special) {
    return name.compare(special, Qt::CaseInsensitive) == 0;
}

QString resourceDir(const AppInfo& app) {
    QString windir = qEnvironmentVariable("Windir");
    if (windir.isEmpty()) {
        windir = app.folder;
    }
    return windir + QStringLiteral("/Resources");
}

// Runs `valueOf` for every placeholder match in order and replaces every
// occurrence of that match's exact text in the working copy. Each distinct
// placeholder text is replaced once: a value holding its own placeholder
// would otherwise be expanded again at every repeat, growing the text
// exponentially. A replacement that would take the text past
// MaxExpandedLength is not made.
struct Placeholder {
    QString text; // the placeholder as written
    QString name; // the name inside its markers
};

// The distinct placeholders of a text, in order of their first match. A
// template is expanded once per file of a listing, so the answers for the
// last few texts are kept.
QList<Placeholder> placeholdersOf(const QString& text, const QString& pattern) {
    thread_local QHash<QString, QList<Placeholder>> cache;
    const QString key = pattern + QChar(u'\0') + text;
    if (auto it = cache.constFind(key); it != cache.constEnd()) {
        return *it;
    }
    QList<MatchRecord> matches;
    const int count = RegMatches(text, pattern, matches, QStringLiteral("$1"));
    QList<Placeholder> found;
    QSet<QString> seen;
    for (int i = 0; i < count; ++i) {
        if (!seen.contains(matches[i].Value)) {
            seen.insert(matches[i].Value);
            found.append(Placeholder{matches[i].Value, matches[i].Rewrites.value(0)});
        }
    }
    if (cache.size() >= 64) {
        cache.clear();
    }
    cache.insert(key, found);
    return found;
}

template <typename F> QString expandEach(const QString& text, const QString& pattern, F&& valueOf) {
    QString work = text;
    for (const Placeholder& placeholder : placeholdersOf(text, pattern)) {
        const QString value = valueOf(placeholder.name);
        if (value.size() > placeholder.text.size()) {
            const qsizetype occurrences = work.count(placeholder.text, Qt::CaseSensitive);
            if (work.size() + occurrences * (value.size() - placeholder.text.size()) > MaxExpandedLength) {
                continue;
            }
        }
        work.replace(placeholder.text, value, Qt::CaseSensitive);
    }
    return work;
}

} // namespace

QString ExpandPath(const QString& path) {
    const AppInfo app = AppInfo::current();
    QString work = expandEach(path, QStringLiteral("%(\\w+)%"), [&](const QString& name) {
        QString value;
        if (is(name, QLatin1StringView("AppTitle"))) {
            value = app.title;
        } else if (is(name, QLatin1StringView("AppPath"))) {
            value = app.folder;
        } else if (is(name, QLatin1StringView("AppEXEName"))) {
            value = app.exeName;
        } else if (is(name, QLatin1StringView("ResourceDir"))) {
            value = resourceDir(app);
        } else {
            value = qEnvironmentVariable(name.toLocal8Bit().constData());
        }
        if (!value.endsWith(u'/') && !value.endsWith(u'\\')) {
            value += u'/';
        }
        return value;
    });
    // Absolute: starts at the root, or names a drive. Anything else hangs
    // off the program's folder.
    if (!work.isEmpty() && !RegTest(work, QStringLiteral("^(?:[A-Za-z]:)?[\\\\/]"))) {
        work = app.folder + u'/' + work;
    }
    work = RegReplace(work, QStringLiteral("\\\\"), QStringLiteral("/"));
    work = RegReplace(work, QStringLiteral("([^/])/{2,}"), QStringLiteral("$1/"));
    work = RegReplace(work, QStringLiteral("^/{3,}"), QStringLiteral("//"));
    return work;
}

QString AppTagValue(const QString& name, const AppInfo& app) {
    if (is(name, QLatin1StringView("AppTitle"))) {
        return app.title;
    }
    if (is(name, QLatin1StringView("AppPath"))) {
        return app.folder;
    }
    if (is(name, QLatin1StringView("AppEXEName"))) {
        return app.exeName;
    }
    if (is(name, QLatin1StringView("AppMajor"))) {
        return QString::number(app.major);
    }
    if (is(name, QLatin1StringView("AppMinor"))) {
        return QString::number(app.minor);
    }
    if (is(name, QLatin1StringView("AppRevision"))) {
        return QString::number(app.revision);
    }
    if (is(name, QLatin1StringView("AppBeta"))) {
        return app.edition;
    }
    if (is(name, QLatin1StringView("ResourceDir"))) {
        return resourceDir(app);
    }
    const QString value = qEnvironmentVariable(name.toLocal8Bit().constData());
    return value.isEmpty() ? name : value;
}

QString ExpandAppTags(const QString& text) {
    if (!text.contains(u'%')) {
        return text;
    }
    const AppInfo app = AppInfo::current();
    return expandEach(text, QStringLiteral("%s\\(([\\w\\.]+?)\\)"),
                      [&](const QString& name) { return AppTagValue(name, app); });
}

std::vector<PlaceholderToken> FindPlaceholders(QStringView text, QStringView families) {
    std::vector<PlaceholderToken> found;
    const qsizetype n = text.size();
    auto nameChar = [](char16_t c) {
        return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
               c == u'_' || c == u'.';
    };
    for (qsizetype i = text.indexOf(u'%'); i >= 0 && i + 1 < n; i = text.indexOf(u'%', i + 1)) {
        char16_t family = text[i + 1].unicode();
        if (family >= u'A' && family <= u'Z') {
            family = static_cast<char16_t>(family + 32);
        } else if (family == 0x017F) {
            family = u's';
        }
        if (!families.contains(QChar(family)) || i + 2 >= n || text[i + 2] != u'(') {
            continue;
        }
        qsizetype k = i + 3;
        while (k < n && nameChar(text[k].unicode())) {
            ++k;
        }
        if (k == i + 3 || k >= n || text[k] != u')') {
            continue;
        }
        found.push_back(PlaceholderToken{i, k + 1 - i, family, text.mid(i + 3, k - i - 3)});
        i = k; // the next placeholder starts after this one
    }
    return found;
}

} // namespace zandorel
