// zandorel-cli: lists a shared folder without a window and prints its links.

#include "zandorel.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>
#include <optional>

using namespace zandorel;

namespace {

enum Exit { Ok = 0, Failed = 1, NothingExtracted = 2, BadAddress = 3, NoSuchFile = 4, Usage = 64 };

const char* const usageText =
    "usage: zandorel-cli (--page FILE | --url URL | --address ADDRESS) [options]\n"
    "\n"
    "Lists a shared folder and prints its link code.\n"
    "\n"
    "sources (exactly one):\n"
    "  --page FILE        a saved folder page\n"
    "  --url URL          any address, fetched as it is\n"
    "  --address ADDRESS  a shared-folder address of the configured share service\n"
    "options:\n"
    "  --config FILE      settings document (default: ZandorelConfig.xml beside the program)\n"
    "  --format TEMPLATE  link format (default: the first saved template)\n"
    "  --join FORMAT      join format of the combined block (default: AllLinkFormat)\n"
    "  --captions         print one caption line per file instead of the block\n"
    "  --props N          print every property of file N\n"
    "exit status: 0 done, 1 settings unusable, 2 nothing extracted, 3 invalid address,\n"
    "             4 no such file, 64 bad usage\n";

void write(FILE* out, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), out);
    fflush(out);
}

int usage(const QString& problem = QString()) {
    if (!problem.isEmpty()) {
        write(stderr, QStringLiteral("zandorel-cli: ") + problem + u'\n');
    }
    write(stderr, QString::fromUtf8(usageText));
    return Usage;
}

struct Options {
    QString page, url, address, config, format, join;
    bool hasFormat = false, hasJoin = false, captions = false;
    std::optional<QString> props;
    int sources = 0;
    enum Source { None, Page, Url, Address } source = None;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    Options o;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        auto value = [&](QString& into) {
            if (i + 1 >= args.size()) {
                return false;
            }
            into = args[++i];
            return true;
        };
        bool ok = true;
        if (a == u"--page") {
            ok = value(o.page);
            ++o.sources;
            o.source = Options::Page;
        } else if (a == u"--url") {
            ok = value(o.url);
            ++o.sources;
            o.source = Options::Url;
        } else if (a == u"--address") {
            ok = value(o.address);
            ++o.sources;
            o.source = Options::Address;
        } else if (a == u"--config") {
            ok = value(o.config);
        } else if (a == u"--format") {
            ok = value(o.format);
            o.hasFormat = true;
        } else if (a == u"--join") {
            ok = value(o.join);
            o.hasJoin = true;
        } else if (a == u"--captions") {
            o.captions = true;
        } else if (a == u"--props") {
            QString n;
            ok = value(n);
            o.props = n;
        } else if (a == u"--help" || a == u"-h") {
            write(stdout, QString::fromUtf8(usageText));
            return Ok;
        } else {
            return usage(QStringLiteral("unknown argument ") + a);
        }
        if (!ok) {
            return usage(a + QStringLiteral(" needs a value"));
        }
    }
    if (o.sources != 1) {
        return usage(QStringLiteral("give exactly one of --page, --url, --address"));
    }
    if (o.captions && o.props) {
        return usage(QStringLiteral("--captions and --props do not go together"));
    }

    SettingsStore& settings = SettingsStore::Instance();
    const QString configPath =
        o.config.isEmpty() ? AppInfo::current().besideProgram(keys::ConfigFileName) : o.config;
    if (!o.config.isEmpty() || QFileInfo::exists(configPath)) {
        if (!settings.LoadSettings(configPath)) {
            write(stderr,
                  LoadErrorMessage(QFileInfo(configPath).fileName(), QDateTime::currentDateTime()) + u'\n');
            return Failed;
        }
    } else {
        settings.LoadDefaults();
    }
    const pugi::xml_node doc = settings.Root();
    auto message = [&](const QString& path, const QString& def) {
        return ExpandAppTags(ReadNodeText(doc, path, def));
    };
    const QString extractError = message(keys::GetSourceCodeError, keys::GetSourceCodeErrorDefault);

    SDPage page;
    try {
        if (o.source == Options::Page) {
            page.GetListFromCode(ReadTextFile(o.page));
        } else if (o.source == Options::Url) {
            page.GetListFromURL(o.url);
        } else {
            const FolderAddress folder = ParseFolderAddress(o.address, ShareHost(settings.ShareService()));
            if (!folder.valid) {
                write(stderr, message(keys::SkyDriveURLError, keys::SkyDriveURLErrorDefault) + u'\n');
                return BadAddress;
            }
            page.GetListFromID(folder.cid, folder.id);
        }
    } catch (const std::exception&) {
        // A fetch or a read that fails is reported like a page without data.
        write(stderr, extractError + u'\n');
        return NothingExtracted;
    }
    if (page.CodeView().isEmpty()) {
        write(stderr, extractError + u'\n');
        return NothingExtracted;
    }

    if (o.props) {
        bool ok = false;
        const int n = o.props->toInt(&ok);
        if (!ok || n < 1 || n > page.Files().Count()) {
            write(stderr, QStringLiteral("zandorel-cli: no file %1 in this listing of %2 files\n")
                              .arg(*o.props)
                              .arg(page.Files().Count()));
            return NoSuchFile;
        }
        write(stdout, PropertyViewerText(page, n));
        return Ok;
    }

    QString format = o.format;
    if (!o.hasFormat) {
        format = CountNodes(doc, keys::Template) > 0 ? ReadNodeText(doc, keys::Template, QString(), 0)
                                                     : keys::DefaultCodeFormat;
    }
    LinkTemplates templates = LinkTemplates::FromSettings(doc, format);
    if (o.hasJoin) {
        templates.joinFormat = o.join;
    }
    try {
        const LinkList list = BuildLinkList(page, templates);
        if (o.captions) {
            QString out;
            for (const LinkRow& row : list.rows) {
                out += row.caption;
                if (row.notPublic) {
                    out += u'\t' + row.warning;
                }
                out += u'\n';
            }
            write(stdout, out);
        } else {
            write(stdout, list.block);
        }
    } catch (const std::exception& e) {
        write(stderr, QStringLiteral("zandorel-cli: ") + QString::fromUtf8(e.what()) + u'\n');
        return Failed;
    }
    return Ok;
}
