// zandorel-share [--bind ADDRESS] [--port N] [--public-url URL]
//                [--versioninfo FILE] FOLDER
//
// Serves FOLDER as a shared cloud folder until SIGINT or SIGTERM. The first
// line written to stdout is the address of the folder's page; everything
// else goes to stderr.

#include "sharetext.h"
#include "standin.h"

#include <QCommandLineParser>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <malloc.h>
#include <optional>
#include <pthread.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kExitUsage = 64;       // EX_USAGE
constexpr int kExitNoInput = 66;     // EX_NOINPUT
constexpr int kExitUnavailable = 69; // EX_UNAVAILABLE

constexpr std::string_view kUsage =
    "usage: zandorel-share [--bind ADDRESS] [--port N] [--public-url URL] [--versioninfo FILE] FOLDER\n"
    "\n"
    "Serves FOLDER as a shared folder over HTTP until interrupted and prints the\n"
    "address of its page as the first line of output.\n"
    "\n"
    "  --bind ADDRESS      address to listen on (default 127.0.0.1)\n"
    "  --port N            port to listen on, 0 for any free one (default 8765)\n"
    "  --public-url URL    the address others use to reach the service, which every\n"
    "                      address in its pages starts with (default http://BIND:PORT/,\n"
    "                      the machine's host name for --bind 0.0.0.0 or ::); port 0\n"
    "                      in it stands for the port taken. Requests naming another\n"
    "                      host are refused.\n"
    "  --versioninfo FILE  answer /tools/checkver/index.php with FILE\n"
    "  --version           print the version and exit\n"
    "\n"
    "Files that others may not read (chmod o-r), and everything inside such a\n"
    "folder, are listed as private and not served.\n";

int usage(std::string_view problem) {
    std::cerr << "zandorel-share: " << problem << "\n\n" << kUsage;
    return kExitUsage;
}

// Arguments are bytes: a folder's name need not be UTF-8. Each byte that is
// not part of valid UTF-8 travels through the parser as a lone surrogate
// U+DC80..U+DCFF and comes back as the same byte.
QString argumentText(std::string_view bytes) {
    QString text;
    std::size_t run = 0; // start of the valid bytes not yet decoded
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t length = 0;
        for (std::size_t n = 1; n <= 4 && i + n <= bytes.size() && length == 0; ++n) {
            length = zandorel::standin::isValidUtf8(bytes.substr(i, n)) ? n : 0;
        }
        if (length > 0) {
            i += length;
            continue;
        }
        text += QString::fromUtf8(bytes.substr(run, i - run));
        text += QChar(static_cast<char16_t>(0xdc00 + static_cast<unsigned char>(bytes[i])));
        run = ++i;
    }
    return text + QString::fromUtf8(bytes.substr(run));
}

std::string argumentBytes(const QString& text) {
    std::string bytes;
    qsizetype from = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        const bool escaped = i < text.size() && text[i].unicode() >= 0xdc80 && text[i].unicode() <= 0xdcff &&
                             (i == 0 || !text[i - 1].isHighSurrogate());
        if (i == text.size() || escaped) {
            bytes += text.mid(from, i - from).toStdString();
            if (escaped) {
                bytes += static_cast<char>(text[i].unicode() - 0xdc00);
            }
            from = i + 1;
        }
    }
    return bytes;
}

std::optional<int> parsePort(const QString& text) {
    if (text.isEmpty() || text.size() > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
        port = port * 10 + (c.unicode() - u'0');
    }
    if (port > 65535) {
        return std::nullopt;
    }
    return port;
}

struct Parsed {
    std::optional<int> exit; // the program ends here with this status
    zandorel::standin::ServerOptions options;
};

Parsed parseArguments(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i) {
        args << argumentText(argv[i]);
    }
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption bind(QStringLiteral("bind"), QString(), QStringLiteral("ADDRESS"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("N"));
    const QCommandLineOption publicUrl(QStringLiteral("public-url"), QString(), QStringLiteral("URL"));
    const QCommandLineOption versionInfo(QStringLiteral("versioninfo"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({bind, port, publicUrl, versionInfo, help, version});

    Parsed parsed;
    if (!parser.parse(args)) {
        const QStringList unknown = parser.unknownOptionNames();
        // The argument the parse stopped at, as typed: an unknown option, one
        // given a value it does not take, or else the last one, which lacks
        // its value.
        for (qsizetype i = 1; i < args.size() && args[i] != u"--"; ++i) {
            const QString& arg = args[i];
            if (!arg.startsWith(u'-') || arg == u"-") {
                continue;
            }
            const QString name = arg.mid(arg.startsWith(u"--") ? 2 : 1).section(u'=', 0, 0);
            const bool takesNoValue = help.names().contains(name) || version.names().contains(name);
            if (unknown.contains(name) || (takesNoValue && arg.contains(u'='))) {
                parsed.exit = usage("unknown option " + argumentBytes(arg.section(u'=', 0, 0)));
                return parsed;
            }
        }
        parsed.exit = usage(argumentBytes(args.last()) + " needs a value");
        return parsed;
    }
    if (parser.isSet(help)) {
        std::cout << kUsage;
        parsed.exit = 0;
        return parsed;
    }
    if (parser.isSet(version)) {
        std::cout << "zandorel-share " ZANDOREL_SHARE_VERSION "\n";
        parsed.exit = 0;
        return parsed;
    }

    zandorel::standin::ServerOptions& options = parsed.options;
    options.logRequests = true;
    for (const QString& value : parser.values(bind)) {
        if (value.isEmpty()) {
            parsed.exit = usage("--bind needs an address");
            return parsed;
        }
        options.bindAddress = argumentBytes(value);
    }
    for (const QString& value : parser.values(port)) {
        const std::optional<int> number = parsePort(value);
        if (!number) {
            parsed.exit = usage("--port needs a number from 0 to 65535");
            return parsed;
        }
        options.port = *number;
    }
    for (const QString& value : parser.values(publicUrl)) {
        options.publicUrl = argumentBytes(value);
        if (!zandorel::standin::PublicUrl::parse(options.publicUrl)) {
            parsed.exit = usage("--public-url needs an address such as http://NAME:8765/ (http or https, a "
                                "host, a port and a path; no query)");
            return parsed;
        }
    }
    for (const QString& value : parser.values(versionInfo)) {
        if (value.isEmpty()) {
            parsed.exit = usage("--versioninfo needs a file");
            return parsed;
        }
        options.versionInfo = std::filesystem::absolute(argumentBytes(value));
    }
    const QStringList folders = parser.positionalArguments();
    if (folders.isEmpty()) {
        parsed.exit = usage("no FOLDER given");
        return parsed;
    }
    if (folders.size() > 1) {
        parsed.exit = usage("only one FOLDER can be served");
        return parsed;
    }
    options.folder = argumentBytes(folders.first());
    return parsed;
}

} // namespace

int main(int argc, char** argv) {
    Parsed parsed = parseArguments(argc, argv);
    if (parsed.exit) {
        return *parsed.exit;
    }
    const zandorel::standin::ServerOptions& options = parsed.options;

    // Signals are taken by one waiting thread only; every other thread, the
    // server's included, inherits this mask. SIGINT stops the server even when
    // started in the background of a script, which ignores it.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    // Large blocks (pages, listings) are mapped on their own and go back to
    // the system when freed, instead of staying with the heap of whichever
    // thread built them. A fixed threshold also keeps the C library from
    // raising it after the first large block is freed.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);

    // Room for every connection the server admits and the file each may be
    // sending.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 4096 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = std::min<rlim_t>(files.rlim_max, 4096);
        ::setrlimit(RLIMIT_NOFILE, &files);
    }

    std::optional<zandorel::standin::ShareServer> server;
    try {
        server.emplace(options);
    } catch (const zandorel::standin::FolderError& e) {
        std::cerr << "zandorel-share: " << e.what() << '\n';
        return kExitNoInput;
    }
    if (!server->bind()) {
        std::cerr << "zandorel-share: cannot listen on " << options.bindAddress << " port " << options.port
                  << '\n';
        return kExitUnavailable;
    }

    std::cout << server->rootAddress() << std::endl;
    if (!options.versionInfo.empty() && ::access(options.versionInfo.c_str(), R_OK) != 0) {
        std::cerr << "zandorel-share: " << options.versionInfo.string()
                  << " cannot be read yet; the update check answers 404 until it can\n";
    }
    std::cerr << "zandorel-share: serving " << server->folder().root().string() << " at "
              << server->baseAddress() << "; stop with Ctrl+C\n";

    std::atomic<bool> signalled = false;
    std::atomic<bool> finished = false;
    std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        if (!finished) {
            signalled = true;
            server->stop();
        }
    });
    server->run();
    finished = true;
    if (!signalled) {
        // The server ended by itself: release the waiting thread. The signal
        // is blocked everywhere and only taken by its sigwait, so it ends
        // no thread.
        pthread_kill(waiter.native_handle(), SIGTERM); // NOLINT(bugprone-bad-signal-to-kill-thread)
    }
    waiter.join();
    if (!signalled) {
        std::cerr << "zandorel-share: the server stopped unexpectedly\n";
        return kExitUnavailable;
    }
    std::cerr << "zandorel-share: stopped\n";
    return 0;
}
