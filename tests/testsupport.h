#pragma once
// Shared test support: UTF-8 text, listing, program facts, a temporary folder, Qt, a loopback server.

#include "share/pipeline.h"
#include "share/sdpage.h"
#include "text/appinfo.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <chrono>
#include <ctime>
#include <gtest/gtest.h>
#include <httplib.h>
#include <thread>

namespace zandorel::test {

// Text from UTF-8, for test tables written in source.
inline QString q(const char* utf8) {
    return QString::fromUtf8(utf8);
}
inline QString q(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// Lists page text into `page` through the pipeline.
inline Listing listText(SDPage& page, const QString& text) {
    return ListFolder(page, ListingSource::text(text));
}

// The listing of a page whose children list holds `entries`.
inline SDPage listing(const QString& entries) {
    SDPage page;
    listText(page, QStringLiteral("var primedResponse={\"children\":[") + entries + QStringLiteral("]};"));
    return page;
}

// Text with every unit outside printable ASCII shown as <hex>, for failure messages.
inline std::string printable(const QString& text) {
    QString out;
    for (QChar c : text) {
        out += (c.unicode() < 32 || c.unicode() > 126) ? QStringLiteral("<%1>").arg(c.unicode(), 0, 16)
                                                       : QString(c);
    }
    return out.toStdString();
}

// Program facts for one test: Zandorel 1.0.3 "beta" in /opt/tools; the real ones come back.
struct KnownAppFacts {
    explicit KnownAppFacts(int major = 1, int minor = 0, int revision = 3, const char* edition = "beta") {
        AppInfo::override(AppInfo{.title = QStringLiteral("Zandorel"),
                                  .folder = QStringLiteral("/opt/tools"),
                                  .exeName = QStringLiteral("Zandorel"),
                                  .major = major,
                                  .minor = minor,
                                  .revision = revision,
                                  .edition = QString::fromUtf8(edition)});
    }
    ~KnownAppFacts() { AppInfo::reset(); }
};

// A test with a temporary folder of its own, removed at the end.
class FolderTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    // Creates or replaces a file of the folder, and the folders it needs; returns its path.
    QString write(const QByteArray& text, const char* name = "ZandorelConfig.xml") const {
        const QString path = dir.filePath(QString::fromUtf8(name));
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        return path;
    }
    static QByteArray read(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }
    QTemporaryDir dir;
};

// Processor time of this thread: what other programs take does not count.
inline double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

inline QCoreApplication& qtApp() {
    static int argc = 1;
    static char name[] = "zandorel-tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app =
        QCoreApplication::instance() ? QCoreApplication::instance() : new QCoreApplication(argc, argv);
    return *app;
}

class LocalServer {
public:
    ~LocalServer() { stop(); }
    httplib::Server& server() { return server_; }

    // Starts listening; returns the base address "http://127.0.0.1:PORT".
    std::string start() {
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return "http://127.0.0.1:" + std::to_string(port_);
    }
    void stop() {
        if (thread_.joinable()) {
            server_.stop();
            thread_.join();
        }
    }
    int port() const { return port_; }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

} // namespace zandorel::test
