// The main window's link-list fill for 1,000 and 10,000 files, headless, on
// synthetic listings of the stand-in's form; reports the process's peak
// memory besides the time.

#include "app/mainwindow.h"
#include "app/program.h"
#include "app/scripteddialogs.h"
#include "share/sdpage.h"
#include "text/appinfo.h"

#include <QApplication>
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

void FillLinkList(benchmark::State& state) {
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
    page->GetListFromCode(syntheticPage(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        window.FillLinkList(page);
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = window.LinkRowCount();
    state.counters["peak_MB"] = static_cast<double>(peakKilobytes()) / 1024.0;
    AppInfo::reset();
}

} // namespace

BENCHMARK(FillLinkList)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
