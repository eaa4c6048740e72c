// Body-text extraction of large pages (it must stay linear in the page size), and the processor
// time HttpGetText spends while it waits for a server that never answers (it must sleep, not poll).
#include "demo/SiteServer.h"
#include "web/HttpGetText.h"
#include "web/NetworkHttpRequest.h"
#include "web/PageText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringEncoder>

#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace kestrovan {
namespace {

// A list page of at most targetBytes bytes as sent (UTF-8 or GBK), filled up to within one row.
QByteArray ListPage(qsizetype targetBytes, bool gbk) {
    QStringEncoder gbkEncoder("GBK");
    const auto encode = [&](const QString& text) -> QByteArray {
        return gbk ? QByteArray(gbkEncoder.encode(text)) : text.toUtf8();
    };
    QByteArray page =
        encode(QStringLiteral("<html><head><title>代理</title><script>var x = 1;</script></head>"
                              "<body><table>"));
    const QByteArray tail = encode(QStringLiteral("</table></body></html>"));
    for (int i = 0;; ++i) {
        const QByteArray row =
            encode(QStringLiteral("<tr><td>%1</td><td>10.0.%2.%3:8080</td><td>本站主数据：北京</td></tr>\n")
                       .arg(i)
                       .arg(i / 256 % 256)
                       .arg(i % 256));
        if (page.size() + row.size() + tail.size() > targetBytes) {
            break;
        }
        page += row;
    }
    return page + tail;
}

void BM_PageBodyText(benchmark::State& state) {
    const bool gbk = state.range(1) != 0;
    const QByteArray page = ListPage(state.range(0), gbk);
    const QByteArray charset = gbk ? "gb2312" : "";
    for (auto _ : state) {
        auto text = PageBodyText(page, charset);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(state.iterations() * page.size());
    state.SetComplexityN(page.size());
    state.counters["page_MiB"] = static_cast<double>(page.size()) / (1 << 20);
}
BENCHMARK(BM_PageBodyText)
    ->Args({1 << 20, 0})
    ->Args({1 << 20, 1})
    ->Args({4 << 20, 0})
    ->Args({8 << 20, 0})
    ->Args({16 << 20, 0}) // the largest body the page loader accepts
    // Single runs of the large pages vary with the first touch of fresh memory: time several.
    ->MinTime(3.0)
    ->Unit(benchmark::kMillisecond);

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void BM_HttpGetTextSilentServerWait(benchmark::State& state) {
    SiteServer server;
    if (!server.Listen()) {
        state.SkipWithError("cannot listen on loopback");
        return;
    }
    SiteAnswer silent;
    silent.hang = true;
    server.SetAnswer(QStringLiteral("/silent"), silent);
    NetworkHttpRequestFactory http;
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        std::int16_t timeout = 5;
        const double cpuBefore = ProcessCpuSeconds();
        QElapsedTimer clock;
        clock.start();
        const QString text =
            HttpGetText(http, server.BaseUrl() + QStringLiteral("/silent"), QString(), timeout);
        wall += clock.nsecsElapsed() / 1e9;
        cpu += ProcessCpuSeconds() - cpuBefore;
        benchmark::DoNotOptimize(text);
    }
    state.counters["wall_s"] = wall;
    state.counters["cpu_s"] = cpu;
    state.counters["cpu_per_wall"] = wall > 0 ? cpu / wall : 0;
}
BENCHMARK(BM_HttpGetTextSilentServerWait)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace kestrovan

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
