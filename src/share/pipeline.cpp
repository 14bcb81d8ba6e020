#include "share/pipeline.h"

#include "share/openunicode.h"
#include "share/records.h"
#include "share/sdpage.h"
#include "text/scan.h"

#include <QFileInfo>
#include <QSet>
#include <QUrl>

namespace zandorel {
namespace {

// `var primedResponse={` with letter case ignored the way the pattern
// helpers ignore it: every letter in either case, and the long s (U+017F)
// for an s, which Unicode folds to s.
bool statementAt(const char16_t* s, qsizetype at, qsizetype n) {
    static constexpr char16_t literal[] = u"var primedresponse={";
    constexpr qsizetype length = sizeof(literal) / sizeof(literal[0]) - 1;
    if (n - at < length) {
        return false;
    }
    for (qsizetype k = 0; k < length; ++k) {
        const char16_t want = literal[k];
        const char16_t c = s[at + k];
        if (c == want) {
            continue;
        }
        if (want >= u'a' && want <= u'z' && c == want - 32) {
            continue;
        }
        if (want == u's' && c == 0x017F) {
            continue;
        }
        return false;
    }
    return true;
}

constexpr qsizetype StatementLength = 20; // var primedResponse={

// The script data: from after `var primedResponse={` to the first `};`,
// on one line. A line feed, or a surrogate that is not half of a pair, is
// a barrier no statement crosses.
bool findScriptData(QStringView page, qsizetype& start, qsizetype& length) {
    const char16_t* s = page.utf16();
    const qsizetype n = page.size();
    static constexpr char16_t v[4] = {u'v', u'V', u'v', u'V'};
    qsizetype from = 0;
    while (from < n) {
        const qsizetype at = FindAnyOf(s, from, n, v);
        if (at >= n) {
            return false;
        }
        if (!statementAt(s, at, n)) {
            from = at + 1;
            continue;
        }
        const qsizetype data = at + StatementLength;
        const qsizetype end = FindStatementEnd(s, data, n);
        if (end >= n) {
            return false; // no statement from here on can end
        }
        if (s[end] != u'}') {
            // A line feed or half a pair: no statement that starts before it
            // can cross it.
            from = end + 1;
            continue;
        }
        start = data;
        length = end - data;
        return true;
    }
    return false;
}

// The share service's own properties of one entry, raw as the page has them.
struct EntryFacts {
    QStringView name, extension, itemType, id;
};

EntryFacts factsOf(QStringView code, RecordScanner& scanner) {
    EntryFacts facts;
    scanner.scan(code, QStringView(), false, [&](const PropertyView& p) {
        if (p.hasPrefix) {
            return true;
        }
        if (p.key == u"name") {
            facts.name = p.value;
        } else if (p.key == u"extension") {
            facts.extension = p.value;
        } else if (p.key == u"itemType") {
            facts.itemType = p.value;
        } else if (p.key == u"id") {
            facts.id = p.value;
        }
        return true;
    });
    return facts;
}

// A string of the folder's own in the script data before its list ("cid",
// "id"), raw.
QString folderValue(QStringView page, const PageListing& cut, QStringView key) {
    const QStringView head = page.mid(cut.dataStart, cut.codeStart - cut.dataStart);
    const QString quoted = u'"' + key.toString() + QStringLiteral("\":\"");
    const qsizetype at = head.indexOf(quoted);
    if (at < 0) {
        return QString();
    }
    const qsizetype from = at + quoted.size();
    const qsizetype end = head.indexOf(u'"', from);
    return end < 0 ? QString() : head.mid(from, end - from).toString();
}

constexpr int MaxFolderDepth = 64;

// Appends the entries of one folder page to `out`, each with its `path`
// below the listed folder; after each sub-folder's own entry come the
// entries of its page, fetched in turn. A sub-folder whose page cannot be
// had (not shared, gone, no answer in time) adds nothing. Raises
// FetchCancelled.
struct TreeWalk {
    const HttpOptions& http;
    QSet<QString> seen;
    const std::function<void(const RemoteProgress&)>& progress;
    RemoteProgress count;
};

void appendTree(QString& out, bool& first, const QString& page, const PageListing& cut, const QString& prefix,
                const QString& base, const QString& cid, TreeWalk& walk, int depth) {
    RecordScanner scanner;
    for (const PageListing::Span& object : cut.objects) {
        const QStringView code = QStringView(page).mid(object.start, object.length);
        const EntryFacts facts = factsOf(code, scanner);
        QString path = prefix;
        path += facts.name;
        path += facts.extension;
        out += first ? u"{" : u",{";
        first = false;
        out += code;
        out += u",\"path\":\"";
        out += path;
        out += u"\"}";
        ++walk.count.listed;
        if (facts.itemType != u"folder" || facts.id.isEmpty() || depth >= MaxFolderDepth || cid.isEmpty()) {
            continue;
        }
        const QString id = facts.id.toString();
        if (walk.seen.contains(id)) {
            continue; // a folder met again: its entries are there already
        }
        walk.seen.insert(id);
        if (walk.progress) {
            walk.progress(walk.count); // entries listed before this sub-folder's page is asked for
        }
        const QString sub = GetTextFromURL(FolderURL(base, cid, id), walk.http);
        const PageListing subCut = CutPage(sub);
        if (subCut.status == Listing::Status::Listed) {
            appendTree(out, first, sub, subCut, path + u'/', base, cid, walk, depth + 1);
        }
    }
}

// The page with every sub-folder's entries in its list (see appendTree);
// the page as it is when it holds no listing.
QString withSubFolders(const QString& page, const QString& base, const QString& sourceCid,
                       const QString& folderId, const HttpOptions& http,
                       const std::function<void(const RemoteProgress&)>& progress) {
    const PageListing cut = CutPage(page);
    if (cut.status != Listing::Status::Listed || cut.codeLength == 0) {
        return page;
    }
    QString cid = folderValue(page, cut, u"cid");
    if (cid.isEmpty()) {
        cid = sourceCid;
    }
    const QString ownId = folderValue(page, cut, u"id");
    QString list;
    list.reserve(cut.codeLength * 2);
    bool first = true;
    TreeWalk walk{http, {}, progress, {}};
    for (const QString& id : {folderId, ownId}) {
        if (!id.isEmpty()) {
            walk.seen.insert(id);
        }
    }
    appendTree(list, first, page, cut, QString(), base, cid, walk, 0);
    return page.left(cut.codeStart) + list + page.mid(cut.codeStart + cut.codeLength);
}

// The share service's base address of a folder page's address: its scheme,
// host and port.
QString baseOf(const QString& address) {
    const QUrl url(address);
    return url.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
        .toString(QUrl::FullyEncoded);
}

} // namespace

ListingSource ListingSource::folder(const QString& cid, const QString& id) {
    ListingSource s;
    s.kind = Kind::Folder;
    s.cid = cid;
    s.id = id;
    return s;
}

ListingSource ListingSource::url(const QString& address) {
    ListingSource s;
    s.kind = Kind::Url;
    s.value = address;
    return s;
}

ListingSource ListingSource::file(const QString& path) {
    ListingSource s;
    s.kind = Kind::File;
    s.value = path;
    return s;
}

ListingSource ListingSource::text(const QString& page) {
    ListingSource s;
    s.kind = Kind::Text;
    s.value = page;
    return s;
}

ListingSource ListingSource::remote(const QString& remote) {
    ListingSource s;
    s.kind = Kind::Remote;
    s.value = remote;
    return s;
}

int Listing::failedStep() const {
    return status == Status::NoScriptData ? 1 : status == Status::NoFolderList ? 2 : 0;
}

QString Listing::problem() const {
    if (!error) {
        return QString();
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("unknown error");
    }
}

PageListing CutPage(QStringView page) {
    PageListing out;
    if (!findScriptData(page, out.dataStart, out.dataLength)) {
        out.status = Listing::Status::NoScriptData;
        return out;
    }
    const QStringView data = page.mid(out.dataStart, out.dataLength);
    const qsizetype children = data.indexOf(u"\"children\":[", 0, Qt::CaseSensitive);
    if (children < 0) {
        out.status = Listing::Status::NoFolderList;
        return out;
    }
    out.status = Listing::Status::Listed;

    // The list and its objects in one pass: brackets end the list, braces
    // cut the objects inside it.
    const char16_t* s = page.utf16();
    const qsizetype open = out.dataStart + children + 11;
    const qsizetype end = out.dataStart + out.dataLength;
    static constexpr char16_t delimiters[4] = {u'[', u']', u'{', u'}'};
    qsizetype brackets = 1;
    qsizetype braces = 0;
    qsizetype objectOpen = 0;
    bool objectsDone = false;
    std::vector<PageListing::Span> objects;
    for (qsizetype i = FindAnyOf(s, open + 1, end, delimiters); i < end;
         i = FindAnyOf(s, i + 1, end, delimiters)) {
        switch (s[i]) {
        case u'[':
            ++brackets;
            break;
        case u']':
            if (--brackets == 0) {
                out.codeStart = open + 1;
                out.codeLength = i - open - 1;
                out.objects = std::move(objects);
                return out;
            }
            break;
        case u'{':
            if (braces++ == 0) {
                objectOpen = i;
            }
            break;
        default: // '}'
            if (braces > 0 && --braces == 0 && !objectsDone) {
                const qsizetype length = i - objectOpen - 1;
                if (length == 0) {
                    objectsDone = true; // an empty object ends the files
                } else {
                    objects.push_back({objectOpen + 1, length});
                }
            }
            break;
        }
    }
    return out; // the list never closes: no listing
}

Listing ListFolder(SDPage& page, const ListingSource& source, const ListingOptions& options) {
    Listing listing;
    QString text;
    try {
        switch (source.kind) {
        case ListingSource::Kind::Text:
            text = source.value;
            break;
        case ListingSource::Kind::File:
            text = ReadTextFile(source.value);
            break;
        case ListingSource::Kind::Url:
            text = GetTextFromURL(source.value, options.http);
            if (options.recursive) {
                text = withSubFolders(text, baseOf(source.value), QString(), QString(), options.http,
                                      options.progress);
            }
            break;
        case ListingSource::Kind::Remote: {
            RemoteOptions remote;
            remote.recursive = options.recursive;
            remote.links = options.links;
            remote.expire = options.expire;
            remote.http = options.http;
            remote.progress = options.progress;
            remote.daemon = options.rclone;
            RemoteListing listed = ListRemote(source.value, remote);
            listing.linksFailed = listed.linksFailed;
            listing.linkFailure = listed.linkFailure;
            listing.noLinks = listed.noLinks;
            text = std::move(listed.page);
            break;
        }
        case ListingSource::Kind::Folder: {
            const QString& base = options.shareService;
            text = GetTextFromURL(FolderURL(base, source.cid, source.id), options.http);
            if (options.recursive) {
                text = withSubFolders(text, base, source.cid, source.id, options.http, options.progress);
            }
            break;
        }
        }
    } catch (const FetchCancelled&) {
        // Stopped by the user: the page object keeps what it held.
        listing.status = Listing::Status::Cancelled;
        listing.error = std::current_exception();
        return listing;
    } catch (...) {
        page.Clear();
        listing.status = Listing::Status::SourceFailed;
        listing.error = std::current_exception();
        return listing;
    }

    // The page keeps its listing until the new page text is there.
    page.Clear();
    PageListing cut = CutPage(text);
    listing.status = cut.status;
    // A remote's page is made here and always cuts; should it not, nothing
    // of it is kept for a dump all the same.
    const bool mayDump = source.kind != ListingSource::Kind::Remote;
    if (cut.status == Listing::Status::NoScriptData) {
        listing.dumpText = mayDump ? text : QString();
        return listing;
    }
    if (cut.status == Listing::Status::NoFolderList) {
        listing.dumpText = mayDump ? text.mid(cut.dataStart, cut.dataLength) : QString();
        return listing;
    }
    auto files = std::make_shared<Files>();
    files->Reserve(static_cast<qsizetype>(cut.objects.size()));
    for (const PageListing::Span& object : cut.objects) {
        files->Add(text, object.start, object.length);
    }
    page.SetListing(text, cut.codeStart, cut.codeLength, std::move(files));
    return listing;
}

DumpPlace ExtractionDumpPlace(const AppInfo& app, const QString& configPath) {
    DumpPlace place{app.exeName + QStringLiteral("_error.html"), {app.folder}};
    if (!configPath.isEmpty()) {
        place.folders << QFileInfo(configPath).absolutePath();
    }
    return place;
}

QString WriteExtractionDump(const Listing& listing, const DumpPlace& place) {
    if (listing.failedStep() == 0) {
        return QString();
    }
    QString text = listing.dumpText.left(MaxDumpChars);
    if (text.size() == MaxDumpChars && text.back().isHighSurrogate()) {
        text.chop(1); // half a character would be written as "?"
    }
    text.replace(QChar(QChar::ReplacementCharacter), u'?');
    // The dump is for inspection only: a folder that cannot be written must
    // not turn a failed extraction into a different failure.
    for (const QString& folder : place.folders) {
        QString path = folder + u'/' + place.name;
        try {
            WriteTextFile(path, text);
            return path;
        } catch (const FileError&) {
        }
    }
    return QString();
}

FolderAddress CheckFolderAddress(const QString& address, const QString& shareService) {
    try {
        return ParseFolderAddress(address, ShareHost(shareService));
    } catch (const std::exception&) {
        return FolderAddress(); // a host the patterns cannot take
    }
}

} // namespace zandorel
