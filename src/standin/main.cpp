// zandorel-share [--bind ADDRESS] [--port N] [--versioninfo FILE] FOLDER
//
// Serves FOLDER as a shared cloud folder until SIGINT or SIGTERM. The first
// line written to stdout is the address of the folder's page; everything
// else goes to stderr.

#include "standin.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <pthread.h>
#include <string>
#include <string_view>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kExitUsage = 64;       // EX_USAGE
constexpr int kExitNoInput = 66;     // EX_NOINPUT
constexpr int kExitUnavailable = 69; // EX_UNAVAILABLE

constexpr std::string_view kUsage =
    "usage: zandorel-share [--bind ADDRESS] [--port N] [--versioninfo FILE] FOLDER\n"
    "\n"
    "Serves FOLDER as a shared folder over HTTP until interrupted and prints the\n"
    "address of its page as the first line of output.\n"
    "\n"
    "  --bind ADDRESS      address to listen on (default 127.0.0.1)\n"
    "  --port N            port to listen on, 0 for any free one (default 8765)\n"
    "  --versioninfo FILE  answer /tools/checkver/index.php with FILE\n"
    "\n"
    "Files that others may not read (chmod o-r), and everything inside such a\n"
    "folder, are listed as private and not served.\n";

int usage(std::string_view problem) {
    std::cerr << "zandorel-share: " << problem << "\n\n" << kUsage;
    return kExitUsage;
}

std::optional<int> parsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) {
        return std::nullopt;
    }
    int port = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        port = port * 10 + (c - '0');
    }
    if (port > 65535) {
        return std::nullopt;
    }
    return port;
}

} // namespace

int main(int argc, char** argv) {
    zandorel::standin::ServerOptions options;
    options.logRequests = true;
    bool folderGiven = false;
    bool optionsEnded = false;

    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!optionsEnded && arg.starts_with("--") && arg.size() > 2) {
            std::string_view name = arg;
            std::optional<std::string_view> value;
            if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
                name = arg.substr(0, eq);
                value = arg.substr(eq + 1);
            }
            if (name == "--help") {
                std::cout << kUsage;
                return 0;
            }
            if (name != "--bind" && name != "--port" && name != "--versioninfo") {
                return usage("unknown option " + std::string(name));
            }
            if (!value) {
                if (i + 1 >= argc) {
                    return usage(std::string(name) + " needs a value");
                }
                value = argv[++i];
            }
            if (name == "--bind") {
                if (value->empty()) {
                    return usage("--bind needs an address");
                }
                options.bindAddress = std::string(*value);
            } else if (name == "--port") {
                const std::optional<int> port = parsePort(*value);
                if (!port) {
                    return usage("--port needs a number from 0 to 65535");
                }
                options.port = *port;
            } else {
                if (value->empty()) {
                    return usage("--versioninfo needs a file");
                }
                options.versionInfo = std::filesystem::absolute(std::string(*value));
            }
            continue;
        }
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (!optionsEnded && arg.starts_with('-') && arg.size() > 1) {
            return usage("unknown option " + std::string(arg));
        }
        if (folderGiven) {
            return usage("only one FOLDER can be served");
        }
        options.folder = std::string(arg);
        folderGiven = true;
    }
    if (!folderGiven) {
        return usage("no FOLDER given");
    }

    // Signals are taken by one waiting thread only; every other thread,
    // httplib's workers included, inherits this mask. SIGINT stops the server
    // even when started in the background of a script, which ignores it.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

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
        // The server ended by itself: release the waiting thread.
        pthread_kill(waiter.native_handle(), SIGTERM);
    }
    waiter.join();
    if (!signalled) {
        std::cerr << "zandorel-share: the server stopped unexpectedly\n";
        return kExitUnavailable;
    }
    std::cerr << "zandorel-share: stopped\n";
    return 0;
}
