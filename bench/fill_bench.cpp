// The main window's link-list fill for 1,000 and 10,000 files, headless, on
// synthetic listings of the stand-in's form; reports the process's peak
// memory besides the time. Beside it, the same fill of a listing of a local
// rclone remote holding as many files in ten sub-folders, made through rclone
// once before the timing (rclone must be on the PATH): the two fills compare
// side by side in one run.

#include "app/linklistview.h"
#include "app/mainwindow.h"
#include "app/program.h"
#include "app/scripteddialogs.h"
#include "share/pipeline.h"
#include "share/sdpage.h"
#include "text/appinfo.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

using namespace zandorel;

namespace {

QString syntheticPage(int files) {
    QString page = QStringLiteral("var primedResponse={\"id\":\"root\",\"children\":[");
    for (int i = 1; i <= files; ++i) {
        page += QStringLiteral(
                    "{\"name\":\"file%1\",\"extension\":\".txt\",\"id\":\"c!%1\",\"itemType\":\"file\","
                    "\"size\":%1,\"displaySize\":\"%1 bytes\",\"sharingLevelValue\":%2,"
                    "\"urls\":{\"download\":\"http://127.0.0.1:8765/download?id=c!%1\"},"
                    "\"thumbnails\":[{\"width\":96}]}")
                    .arg(i)
                    .arg(i % 7 == 0 ? 2 : 0);
        page += i < files ? u',' : u']';
    }
    return page + QStringLiteral("};");
}

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A listing of the local remote `bench:` over `root`, with `files` files in
// ten sub-folders, as the window's 提取源代码 makes it with 包含子文件夹.
std::shared_ptr<SDPage> remotePage(const QString& root, int files, QString& error) {
    for (int i = 0; i < files; ++i) {
        const QString sub = root + QStringLiteral("/dir%1").arg(i % 10);
        QDir().mkpath(sub);
        QFile file(sub + QStringLiteral("/file%1.txt").arg(i));
        if (!file.open(QIODevice::WriteOnly)) {
            error = QStringLiteral("cannot write ") + file.fileName();
            return nullptr;
        }
    }
    const QString config = root + QStringLiteral("/../rclone.conf");
    QFile conf(config);
    if (!conf.open(QIODevice::WriteOnly)) {
        error = QStringLiteral("cannot write ") + config;
        return nullptr;
    }
    conf.write(QStringLiteral("[bench]\ntype = alias\nremote = %1\n").arg(root).toUtf8());
    conf.close();
    qputenv("RCLONE_CONFIG", config.toLocal8Bit());
    auto page = std::make_shared<SDPage>();
    ListingOptions options;
    options.recursive = true;
    const Listing listing = ListFolder(*page, ListingSource::remote(QStringLiteral("bench:")), options);
    if (listing.status != Listing::Status::Listed || page->Files().Count() != files) {
        error = QStringLiteral("the remote was not listed: ") + listing.problem();
        return nullptr;
    }
    return page;
}

void fill(benchmark::State& state, bool remote) {
    QTemporaryDir dir;
    AppInfo info = AppInfo::current();
    info.folder = dir.path();
    AppInfo::override(info);
    QFile::copy(QStringLiteral(ZANDOREL_CONFIG_FILE), dir.filePath(QStringLiteral("ZandorelConfig.xml")));
    app::ScriptedDialogs dialogs;
    app::Program program(dialogs);
    program.SetUpdateCheckAddress(QStringLiteral("http://127.0.0.1:9/"));
    if (!program.Start(dir.filePath(QStringLiteral("ZandorelConfig.xml")))) {
        state.SkipWithError("settings did not load");
        return;
    }
    app::MainWindow& window = *program.Window(0);
    auto page = std::make_shared<SDPage>();
    if (remote) {
        QString error;
        page = remotePage(dir.filePath(QStringLiteral("tree")), static_cast<int>(state.range(0)), error);
        if (!page) {
            state.SkipWithError(error.toStdString().c_str());
            return;
        }
    } else {
        ListFolder(*page, ListingSource::text(syntheticPage(static_cast<int>(state.range(0)))));
    }
    for (auto _ : state) {
        window.LinkList().FillLinkList(page);
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = window.LinkList().LinkRowCount();
    state.counters["peak_MB"] = static_cast<double>(peakKilobytes()) / 1024.0;
    AppInfo::reset();
}

} // namespace

void FillLinkList(benchmark::State& state) {
    fill(state, false);
}

void FillRemoteLinkList(benchmark::State& state) {
    fill(state, true);
}

BENCHMARK(FillLinkList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(FillRemoteLinkList)->Arg(10000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
