// Listing speed: synthetic folder pages of 1,000 to 100,000 entries, each
// with about thirty properties, one nested object and one list, cut into
// records and turned into one link text per file.

#include "share/linklist.h"
#include "share/pipeline.h"
#include "share/sdpage.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>

using namespace zandorel;

namespace {

QString syntheticPage(int files) {
    QString page;
    page.reserve(static_cast<qsizetype>(files) * 1100 + 400);
    page += QStringLiteral("<html><head><title>folder</title></head><body><script>var primedResponse={"
                           "\"id\":\"c0ffee!root\",\"name\":\"bench\",\"children\":[");
    for (int i = 0; i < files; ++i) {
        const QString n = QString::number(i);
        if (i > 0) {
            page += u',';
        }
        page +=
            QStringLiteral("{\"name\":\"file") + n +
            QStringLiteral("\",\"extension\":\".txt\",\"id\":\"c0ffee!") + n +
            QStringLiteral("\",\"itemType\":\"file\",\"size\":") + QString::number(1000 + i) +
            QStringLiteral(",\"displaySize\":\"1 KB\",\"dateModified\":\"2026-12-06T10:00:00Z\","
                           "\"dateCreated\":\"2026-12-01T08:30:00Z\",\"mimeType\":\"text/plain\","
                           "\"sharingLevel\":\"Public\",\"sharingLevelValue\":") +
            QString::number(i % 7 == 0 ? 2 : 0) +
            QStringLiteral(",\"ownerName\":\"Ann\",\"ownerCid\":\"c0ffee\",\"parentId\":\"c0ffee!root\","
                           "\"commentCount\":0,\"tagCount\":1,\"isEmbeddable\":true,\"hasThumbnail\":true,"
                           "\"version\":3,\"etag\":\"e-") +
            n +
            QStringLiteral("\",\"description\":\"\",\"iconType\":\"text\",\"urls\":{\"download\":"
                           "\"http://127.0.0.1:8765/download?cid=c0ffee&id=c0ffee!") +
            n + QStringLiteral("\",\"viewInBrowser\":\"http://127.0.0.1:8765/view?cid=c0ffee&id=c0ffee!") +
            n +
            QStringLiteral("\"},\"thumbnails\":[{\"width\":96,\"height\":96,\"url\":\"/t/96\"},"
                           "{\"width\":176,\"height\":176,\"url\":\"/t/176\"}],\"isShared\":true,"
                           "\"permissions\":\"read\",\"downloadCount\":12,\"sortKey\":\"") +
            n + QStringLiteral("\",\"color\":\"#2266aa\",\"lastAccess\":\"2026-12-05\"}");
    }
    page += QStringLiteral("],\"totalCount\":") + QString::number(files) +
            QStringLiteral("};</script></body></html>");
    return page;
}

void ListAndLink(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    const QString page = syntheticPage(files);
    LinkTemplates t;
    t.codeFormat = QStringLiteral("<a href=\"%t(urls.download)\">%t(name)%t(extension)</a>");
    t.joinFormat = QStringLiteral("$1\\r\\n");
    for (auto _ : state) {
        SDPage listing;
        ListFolder(listing, ListingSource::text(page));
        LinkBuilder builder(t, LinkBuilder::Link);
        QString link;
        qsizetype total = 0;
        for (int i = 1; i <= listing.Files().Count(); ++i) {
            builder.Read(listing.Files(), i);
            link.clear();
            builder.AppendLink(link);
            total += link.size();
        }
        if (listing.Files().Count() != files) {
            state.SkipWithError("wrong file count");
        }
        benchmark::DoNotOptimize(total);
    }
    state.counters["page_MB"] = static_cast<double>(page.size()) * 2 / (1024 * 1024);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024; // of the process so far
    state.SetItemsProcessed(state.iterations() * files);
}

void ExtractOnly(benchmark::State& state) {
    const QString page = syntheticPage(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(CutPage(page).codeLength);
    }
}

void WholeLinkList(benchmark::State& state) {
    const QString page = syntheticPage(static_cast<int>(state.range(0)));
    LinkTemplates t;
    t.codeFormat = QStringLiteral("[url=%t(urls.download)]%t(name)%t(extension)[/url]");
    t.captionTemplate = QStringLiteral("%t(name)%t(extension)");
    t.warnTemplate = QStringLiteral("警告：文件不是公共");
    t.joinFormat = QStringLiteral("$1\\r\\n");
    for (auto _ : state) {
        SDPage listing;
        ListFolder(listing, ListingSource::text(page));
        benchmark::DoNotOptimize(BuildLinkList(listing, t).block.size());
    }
}

} // namespace

BENCHMARK(ListAndLink)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(ExtractOnly)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(WholeLinkList)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
