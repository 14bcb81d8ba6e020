#pragma once
// Shared by the tests: one Qt application object per test program, and a
// cpp-httplib server on a free loopback port, run on its own thread.

#include <QCoreApplication>
#include <QString>
#include <chrono>
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
    LocalServer() = default;
    ~LocalServer() { stop(); }
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

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
