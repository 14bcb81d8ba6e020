// zandorel-cli: lists a shared folder without a window and prints its links.

#include "settings/location.h"
#include "settings/templatelist.h"
#include "zandorel.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringEncoder>
#include <QUrl>
#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace zandorel;

namespace {

enum Exit {
    Ok = 0,
    Failed = 1,
    NothingExtracted = 2,
    BadAddress = 3,
    NoSuchFile = 4,
    RemoteFailed = 5,
    NoRclone = 6,
    TooLong = 7,
    Usage = 64
};

// The most bytes the tool prints: the output is held until every file is
// done, so a template that would make more is refused instead.
constexpr qsizetype MaxOutputBytes = qsizetype{256} * 1024 * 1024;

const char* const usageText =
    "usage: zandorel-cli (--page FILE | --url URL | --address ADDRESS | --remote REMOTE:PATH) [options]\n"
    "\n"
    "Lists a shared folder and prints its link code.\n"
    "\n"
    "sources (exactly one):\n"
    "  --page FILE        a saved folder page\n"
    "  --url URL          any address, fetched as it is\n"
    "  --address ADDRESS  a shared-folder address of the configured share service\n"
    "  --remote REMOTE:PATH\n"
    "                     a folder of an rclone remote (NAME:PATH as `rclone listremotes`\n"
    "                     names it, or :backend,option=value:PATH), listed through rclone\n"
    "options:\n"
    "  --recursive        list the files of every sub-folder too\n"
    "  --links            ask the cloud for each file's public link (--remote)\n"
    "  --expire DURATION  how long those links last, e.g. 7d (default: the remote's)\n"
    "  --config FILE      settings document (default: ZandorelConfig.xml beside the program,\n"
    "                     else in ~/.config/zandorel, else the built-in settings)\n"
    "  --service URL      the share service for --address on this run, such as\n"
    "                     http://127.0.0.1:9000 (default: ShareService of the settings)\n"
    "  --format TEMPLATE  link format (default: the first saved template)\n"
    "  --join FORMAT      join format of the combined block (default: AllLinkFormat)\n"
    "  --captions         print one caption line per file instead of the block\n"
    "  --props N          print every property of file N\n"
    "  --version          print the version and exit\n"
    "exit status: 0 done, 1 settings unusable, 2 nothing extracted, 3 invalid address,\n"
    "             4 no such file, 5 the remote is unknown or cannot be reached or read,\n"
    "             6 rclone is not installed, 7 output longer than 256 MiB, 64 bad usage\n";

void write(FILE* out, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
    fflush(out);
}

// A message from the settings as one line on its own: ended by exactly one line feed.
void writeLine(FILE* out, QString text) {
    while (text.endsWith(u'\n') || text.endsWith(u'\r')) {
        text.chop(1);
    }
    write(out, text + u'\n');
}

// Bytes of the UTF-8 form; a unit that is not half of a pair becomes U+FFFD.
qsizetype utf8Size(QStringView text) {
    qsizetype size = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80) {
            size += 1;
        } else if (c < 0x800) {
            size += 2;
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
                   QChar::isLowSurrogate(text[i + 1].unicode())) {
            size += 4;
            ++i;
        } else {
            size += 3;
        }
    }
    return size;
}

// What the tool prints, in UTF-8, held until every file is done: the
// combined block, or one caption line per file (a tab and the warning when
// the file is not public). The link loop counts it in bytes.
class Output : public LinkSink {
public:
    explicit Output(bool captions) : captions_(captions) {}
    qsizetype Used() const override { return bytes.size(); }
    bool TooLong(int position) override {
        tooLong = position;
        return false; // the tool prints nothing then
    }
    qsizetype Size(const LinkTexts& texts) const override {
        if (!captions_) {
            return 0;
        }
        return utf8Size(texts.caption) + (texts.notPublic ? 1 + utf8Size(texts.warning) : 0) + 1;
    }
    qsizetype Size(QStringView piece) const override { return utf8Size(piece); }
    QString& Block() override {
        text_.truncate(0); // keeps its room for the next file
        return text_;
    }
    void Keep(const LinkTexts& texts, QStringView piece, qsizetype size) override {
        if (captions_) {
            text_.truncate(0);
            text_ += texts.caption;
            if (texts.notPublic) {
                text_ += u'\t';
                text_ += texts.warning;
            }
            text_ += u'\n';
            piece = text_;
        }
        append(piece, size);
    }

    QByteArray bytes;
    int tooLong = 0; // the file whose text was too long

private:
    // Straight into the output. The encoder holds a high surrogate that ends
    // one text until the next one begins: four bytes of room more.
    void append(QStringView text, qsizetype size) {
        const qsizetype used = bytes.size();
        const qsizetype room = used + size + 4;
        if (bytes.capacity() < room) {
            bytes.reserve(std::min(std::max(room, bytes.capacity() * 2), MaxOutputBytes + 4));
        }
        bytes.resize(room);
        char* const end = utf8_.appendToBuffer(bytes.data() + used, text);
        bytes.truncate(end - bytes.constData());
    }

    bool captions_;
    QString text_;
    QStringEncoder utf8_{QStringEncoder::Utf8};
};

int usage(const QString& problem = QString()) {
    if (!problem.isEmpty()) {
        write(stderr, QStringLiteral("zandorel-cli: ") + problem + u'\n');
    }
    write(stderr, QString::fromUtf8(usageText));
    return Usage;
}

struct Options {
    QString page, url, address, remote, config, format, join, expire;
    QString service; // the share service's base address given by --service; empty: the settings' one
    bool hasFormat = false, hasJoin = false, captions = false, recursive = false, links = false;
    std::optional<QString> props;
    enum Source { None, Page, Url, Address, Remote } source = None;
};

// The argument a failed parse stopped at, as the user typed it.
QString parseProblem(const QCommandLineParser& parser, const QStringList& args) {
    const QStringList unknown = parser.unknownOptionNames();
    for (qsizetype i = 1; i < args.size() && args[i] != u"--"; ++i) {
        const QString& arg = args[i];
        if (!arg.startsWith(u'-')) {
            continue;
        }
        const QString name = arg.mid(arg.startsWith(u"--") ? 2 : 1).section(u'=', 0, 0);
        // An unknown option, or one given a value it does not take ("--captions=1").
        const bool takesNoValue = name == u"captions" || name == u"recursive" || name == u"links" ||
                                  name == u"help" || name == u"h" || name == u"version";
        if (unknown.contains(name) || (takesNoValue && arg.contains(u'='))) {
            return QStringLiteral("unknown argument ") + arg;
        }
    }
    // Otherwise the last option lacks its value.
    return args.last() + QStringLiteral(" needs a value");
}

// Reads the command line into `o`. Returns the exit status when the
// program ends here (usage, help, version).
std::optional<int> parseArguments(const QStringList& args, Options& o) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption page(QStringLiteral("page"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption url(QStringLiteral("url"), QString(), QStringLiteral("URL"));
    const QCommandLineOption address(QStringLiteral("address"), QString(), QStringLiteral("ADDRESS"));
    const QCommandLineOption remote(QStringLiteral("remote"), QString(), QStringLiteral("REMOTE"));
    const QCommandLineOption recursive(QStringLiteral("recursive"));
    const QCommandLineOption links(QStringLiteral("links"));
    const QCommandLineOption expire(QStringLiteral("expire"), QString(), QStringLiteral("DURATION"));
    const QCommandLineOption config(QStringLiteral("config"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption service(QStringLiteral("service"), QString(), QStringLiteral("URL"));
    const QCommandLineOption format(QStringLiteral("format"), QString(), QStringLiteral("TEMPLATE"));
    const QCommandLineOption join(QStringLiteral("join"), QString(), QStringLiteral("FORMAT"));
    const QCommandLineOption captions(QStringLiteral("captions"));
    const QCommandLineOption props(QStringLiteral("props"), QString(), QStringLiteral("N"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({page, url, address, remote, recursive, links, expire, config, service, format, join,
                       captions, props, help, version});

    if (!parser.parse(args)) {
        return usage(parseProblem(parser, args));
    }
    // A bare "--" is no option of this tool: it does not end the options.
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == u"--help" || arg == u"-h" || arg == u"--version") {
            break;
        }
        if (arg == u"--") {
            return usage(QStringLiteral("unknown argument --"));
        }
        for (const QCommandLineOption* withValue :
             {&page, &url, &address, &remote, &expire, &config, &service, &format, &join, &props}) {
            if (arg == QStringLiteral("--") + withValue->names().first()) {
                ++i; // its value, whatever it looks like
            }
        }
    }
    if (parser.isSet(help)) {
        write(stdout, QString::fromUtf8(usageText));
        return Ok;
    }
    if (parser.isSet(version)) {
        const AppInfo info = AppInfo::current();
        write(stdout,
              QStringLiteral("zandorel-cli %1.%2.%3\n").arg(info.major).arg(info.minor).arg(info.revision));
        return Ok;
    }
    if (!parser.positionalArguments().isEmpty()) {
        return usage(QStringLiteral("unknown argument ") + parser.positionalArguments().first());
    }

    const qsizetype sources = parser.values(page).size() + parser.values(url).size() +
                              parser.values(address).size() + parser.values(remote).size();
    if (sources != 1) {
        return usage(QStringLiteral("give exactly one of --page, --url, --address, --remote"));
    }
    if (parser.isSet(page)) {
        o.source = Options::Page;
        o.page = parser.value(page);
    } else if (parser.isSet(url)) {
        o.source = Options::Url;
        o.url = parser.value(url);
    } else if (parser.isSet(address)) {
        o.source = Options::Address;
        o.address = parser.value(address);
    } else {
        o.source = Options::Remote;
        o.remote = parser.value(remote);
        if (o.remote.isEmpty()) {
            return usage(QStringLiteral("--remote needs a remote, e.g. NAME:PATH"));
        }
    }
    o.recursive = parser.isSet(recursive);
    o.links = parser.isSet(links);
    o.expire = parser.value(expire);
    if (o.links && o.source != Options::Remote) {
        return usage(QStringLiteral("--links goes with --remote"));
    }
    if (parser.isSet(expire) && !o.links) {
        return usage(QStringLiteral("--expire goes with --links"));
    }
    if (o.recursive && o.source == Options::Page) {
        return usage(QStringLiteral("--recursive goes with --url, --address or --remote"));
    }
    o.config = parser.value(config);
    if (parser.isSet(service)) {
        o.service = ShareServiceBase(parser.value(service));
        if (o.service.isEmpty()) {
            return usage(
                QStringLiteral("--service needs the http or https address of a share service, such as "
                               "http://127.0.0.1:9000, not ") +
                parser.value(service));
        }
    }
    o.hasFormat = parser.isSet(format);
    o.format = parser.value(format);
    o.hasJoin = parser.isSet(join);
    o.join = parser.value(join);
    o.captions = parser.isSet(captions);
    if (parser.isSet(props)) {
        o.props = parser.value(props);
    }
    if (o.captions && o.props) {
        return usage(QStringLiteral("--captions and --props do not go together"));
    }
    return std::nullopt;
}

// Why --address refused an address, in the tool's own words: the service
// it was checked against, where that came from, and how to name another.
QString refusalText(const QString& address, const QString& service, const Options& o,
                    const SettingsStore& settings) {
    QString origin;
    if (!o.service.isEmpty()) {
        origin = QStringLiteral("given by --service");
    } else {
        const QString where =
            settings.ConfigPath().isEmpty()
                ? QStringLiteral("the built-in settings")
                : QDir::toNativeSeparators(QFileInfo(settings.ConfigPath()).absoluteFilePath());
        const QString configured =
            ReadAttribute(settings.Root(), keys::Config, keys::ShareService, QString());
        origin = QStringLiteral("ShareService of ") + where;
        if (configured.trimmed().isEmpty()) {
            origin += QStringLiteral(", which names none, so the default");
        } else if (ShareServiceBase(configured).isEmpty()) {
            origin += QStringLiteral(", whose \"") + configured +
                      QStringLiteral("\" is no http or https address, so the default");
        }
    }
    const QString example = service + QStringLiteral("/?cid=0889b3125de27f3f&id=0889b3125de27f3f!root");
    // The service the address itself names, when it names one.
    const QUrl asTyped(address.trimmed(), QUrl::StrictMode);
    QString named = QStringLiteral("http://HOST:PORT");
    if (asTyped.isValid() && (asTyped.scheme() == u"http" || asTyped.scheme() == u"https") &&
        !asTyped.host().isEmpty()) {
        named =
            asTyped
                .adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
                .toString();
    }
    return QStringLiteral(
               "zandorel-cli: %1 is not a folder address of the share service %2 (%3).\n"
               "zandorel-cli: a folder address starts with %2/? and carries the folder's cid and id, "
               "as in %4\n"
               "zandorel-cli: to list a folder of another service, name the service for this run with "
               "--service URL (as in --service %5), or give a settings file whose ShareService names "
               "it with --config FILE.\n")
        .arg(address, service, origin, example, named);
}

// Loads --config, else the file beside the program or in the configuration
// folder, else the built-in settings. Never creates a file.
std::optional<int> loadSettings(const Options& o, SettingsStore& settings) {
    const QString configPath = o.config.isEmpty() ? findSettingsFile() : o.config;
    if (configPath.isEmpty()) {
        settings.LoadDefaults();
        return std::nullopt;
    }
    if (!settings.LoadSettings(configPath)) {
        write(stderr,
              LoadErrorMessage(QFileInfo(configPath).fileName(), QDateTime::currentDateTime()) + u'\n');
        return Failed;
    }
    return std::nullopt;
}

// The source the options name, or the status of a refused --address.
// `service` is the share service of --address (empty otherwise).
std::optional<int> chooseSource(const Options& o, const SettingsStore& settings, ListingSource& source,
                                QString& service) {
    switch (o.source) {
    case Options::Page:
        source = ListingSource::file(o.page);
        break;
    case Options::Url:
        source = ListingSource::url(o.url);
        break;
    case Options::Address: {
        const QString wanted = o.service.isEmpty() ? settings.ShareService() : o.service;
        const FolderAddress folder = CheckFolderAddress(o.address, wanted);
        if (!folder.valid) {
            write(stderr, refusalText(o.address, wanted, o, settings));
            return BadAddress;
        }
        service = wanted;
        source = ListingSource::folder(folder.cid, folder.id);
        break;
    }
    default:
        source = ListingSource::remote(o.remote);
        break;
    }
    return std::nullopt;
}

// A remote that could not be listed: one line naming the remote, or the
// package to install.
int remoteFailure(const Listing& listing, const Options& o) {
    try {
        std::rethrow_exception(listing.error);
    } catch (const RcloneError& e) {
        write(stderr, QStringLiteral("zandorel-cli: ") + QString::fromUtf8(e.what()) + u'\n');
        return e.kind() == RcloneError::Kind::Missing ? NoRclone : RemoteFailed;
    } catch (const std::exception& e) {
        write(stderr, QStringLiteral("zandorel-cli: %1 while listing %2\n")
                          .arg(QString::fromUtf8(e.what()), RemoteDisplayName(o.remote)));
        return RemoteFailed;
    }
}

// What became of the links, once, after the output.
void reportLinks(const Listing& listing, const SDPage& page) {
    if (!listing.noLinks.isEmpty()) {
        write(stderr, QStringLiteral("zandorel-cli: ") + listing.noLinks + u'\n');
    } else if (listing.linksFailed > 0) {
        const QString why = listing.linkFailure.isEmpty() ? QStringLiteral("see linkError in --props N")
                                                          : QStringLiteral("rclone: ") + listing.linkFailure;
        write(stderr, QStringLiteral("zandorel-cli: %1 of %2 links failed (%3)\n")
                          .arg(listing.linksFailed)
                          .arg(page.Files().Count())
                          .arg(why));
    }
}

// Every property of the file --props names.
int printProperties(const SDPage& page, const QString& which) {
    bool ok = false;
    const int n = which.toInt(&ok);
    if (!ok || n < 1 || n > page.Files().Count()) {
        write(stderr, QStringLiteral("zandorel-cli: no file %1 in this listing of %2 files\n")
                          .arg(which)
                          .arg(page.Files().Count()));
        return NoSuchFile;
    }
    write(stdout, PropertyViewerText(page, n));
    return Ok;
}

// The combined block, or the captions. Only what is printed is built. The
// output is kept until every file is done, so that a file whose text would
// pass the length limit leaves nothing half printed.
int printLinks(const SDPage& page, const Options& o, pugi::xml_node doc) {
    LinkTemplates templates = LinkTemplates::FromSettings(
        doc, o.hasFormat ? o.format : TemplateList::DefaultFormat(doc), AppInfo::current());
    if (o.hasJoin) {
        templates.joinFormat = o.join;
    }
    Output output(o.captions);
    try {
        if (!FillLinks(page, templates,
                       o.captions ? LinkBuilder::Caption | LinkBuilder::Warning : LinkBuilder::Joined,
                       MaxOutputBytes, output)) {
            write(stderr,
                  QStringLiteral("zandorel-cli: the text of file %1 would be longer than %2 characters\n")
                      .arg(output.tooLong)
                      .arg(MaxExpandedLength));
            return Failed;
        }
    } catch (const OutputTooLong&) {
        write(stderr,
              QStringLiteral("zandorel-cli: the output would be longer than %1 bytes; nothing printed\n")
                  .arg(MaxOutputBytes));
        return TooLong;
    }
    const QByteArray& out = output.bytes;
    fwrite(out.constData(), 1, static_cast<size_t>(out.size()), stdout);
    fflush(stdout);
    return Ok;
}

} // namespace

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    Options o;
    if (const std::optional<int> status = parseArguments(arguments, o)) {
        return *status;
    }
    SettingsStore& settings = SettingsStore::Instance();
    if (const std::optional<int> status = loadSettings(o, settings)) {
        return *status;
    }
    // The application object (and its event loop) is made only for a fetch:
    // a saved page is listed without it, which keeps small listings quick.
    std::optional<QCoreApplication> app;
    if (o.source != Options::Page) {
        app.emplace(argc, argv);
    }
    ListingSource source;
    ListingOptions listingOptions;
    if (const std::optional<int> status = chooseSource(o, settings, source, listingOptions.shareService)) {
        return *status;
    }
    listingOptions.recursive = o.recursive;
    listingOptions.links = o.links;
    listingOptions.expire = o.expire;
    // Progress of a remote's listing, for a person watching the terminal.
    bool progressShown = false;
    if (o.source == Options::Remote && isatty(fileno(stderr)) == 1) {
        listingOptions.progress = [&](const RemoteProgress& p) {
            QString line = QStringLiteral("\r%1 files listed").arg(p.listed);
            if (p.linksWanted > 0) {
                line += QStringLiteral(", %1 of %2 links made").arg(p.linksMade).arg(p.linksWanted);
                if (p.linksFailed > 0) {
                    line += QStringLiteral(", %1 failed").arg(p.linksFailed);
                }
            }
            write(stderr, line + QStringLiteral("\x1b[K"));
            progressShown = true;
        };
    }
    SDPage page;
    const Listing listing = ListFolder(page, source, listingOptions);
    if (progressShown) {
        write(stderr, QStringLiteral("\n"));
    }
    WriteExtractionDump(listing, ExtractionDumpPlace(AppInfo::current(), settings.ConfigPath()));
    if (o.source == Options::Remote) {
        if (listing.status == Listing::Status::SourceFailed) {
            return remoteFailure(listing, o);
        }
        if (page.Files().Count() == 0) {
            write(stderr,
                  QStringLiteral("zandorel-cli: no files to list in %1\n").arg(RemoteDisplayName(o.remote)));
            return NothingExtracted;
        }
    }
    // A fetch or a read that fails is reported like a page without data.
    if (listing.status == Listing::Status::SourceFailed || page.CodeView().isEmpty()) {
        writeLine(stderr, ExpandAppTags(ReadNodeText(settings.Root(), keys::GetSourceCodeError,
                                                     keys::GetSourceCodeErrorDefault)));
        return NothingExtracted;
    }
    const int status = o.props ? printProperties(page, *o.props) : printLinks(page, o, settings.Root());
    if (status == Ok) {
        reportLinks(listing, page);
    }
    return status;
}
