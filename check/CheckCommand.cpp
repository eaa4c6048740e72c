#include "check/CheckCommand.h"

#include "check/CheckOptions.h"
#include "check/CheckReport.h"
#include "check/Console.h"
#include "check/EntrySources.h"
#include "check/PageFetches.h"
#include "check/ProxyCheck.h"
#include "proxylist/ExportFile.h"
#include "web/Endpoints.h"
#include "web/PageLoadLimits.h"

#include <QElapsedTimer>

#include <algorithm>

namespace kestrovan {
namespace {

constexpr int kUsageStatus = 2;
// The window's fetch waits this long without data before a load fails; the list page gets as much.
constexpr std::chrono::milliseconds kListPageTimeout{kPageTransferTimeoutMs};
constexpr qint64 kProgressIntervalMs = 200;

void Say(const QString& text) {
    WriteConsoleText(ConsoleStream::Error, text + u'\n');
}

std::optional<std::vector<std::u16string>> ListPageEntriesOf(const Endpoints& endpoints) {
    const std::vector<PageRequest> request{{endpoints.ProxyListPage().toStdString(), {}, kListPageTimeout}};
    ListPageEntries list;
    FetchPages(
        request, FetchLimits{.concurrency = 1},
        {.done = [&](std::size_t, PageAnswer answer) { list = EntriesOfListPage(answer); }, .tick = {}});
    if (!list.failure.isEmpty()) {
        Say(list.failure);
        return std::nullopt;
    }
    Say(QStringLiteral("代理获取结束,已成功获取%1个. ").arg(list.entries.size()));
    return std::move(list.entries);
}

std::optional<std::vector<std::u16string>> EntriesToCheck(const CheckOptions& options,
                                                          const Endpoints& endpoints) {
    if (!options.listFile) {
        return ListPageEntriesOf(endpoints);
    }
    const std::optional<QByteArray> bytes = ReadListFile(*options.listFile);
    if (!bytes) {
        Say(QStringLiteral("无法读取代理列表 %1 (不超过4MB的文本文件)").arg(*options.listFile));
        return std::nullopt;
    }
    return EntriesOfListFile(*bytes);
}

// The progress line on a terminal: rewritten in place, at most five times a second.
class ProgressLine {
public:
    explicit ProgressLine(std::size_t total)
        : total_(total), shown_(IsConsoleTerminal(ConsoleStream::Error)) {
        clock_.start();
    }
    void Update(std::size_t checked, std::size_t working, bool force = false) {
        if (!shown_ || (!force && clock_.elapsed() - lastMs_ < kProgressIntervalMs)) {
            return;
        }
        lastMs_ = clock_.elapsed();
        WriteConsoleText(ConsoleStream::Error, QStringLiteral("\r检测中 %1/%2, 可用%3个, 已用%4秒 ")
                                                   .arg(checked)
                                                   .arg(total_)
                                                   .arg(working)
                                                   .arg(lastMs_ / 1000));
    }
    void End() {
        if (shown_) {
            WriteConsoleText(ConsoleStream::Error, QStringLiteral("\n"));
        }
    }

private:
    std::size_t total_;
    bool shown_;
    QElapsedTimer clock_;
    qint64 lastMs_ = -kProgressIntervalMs;
};

std::vector<CheckedEntry> CheckEntries(std::vector<std::u16string> entries, const CheckOptions& options,
                                       const Endpoints& endpoints) {
    std::vector<CheckedEntry> checked(entries.size());
    std::vector<PageRequest> requests;
    std::vector<std::size_t> requestEntry; // the entry each request checks
    for (std::size_t i = 0; i < entries.size(); ++i) {
        checked[i].entry = std::move(entries[i]);
        const std::optional<ProxyAddress> proxy = ParseProxyEntry(checked[i].entry);
        if (!proxy) {
            checked[i].result.failure = CheckFailure::UnusableEntry;
            continue;
        }
        const QString host = QString::fromStdString(proxy->host);
        requests.push_back({endpoints.LocationResultPage(host).toStdString(),
                            proxy->host + ':' + std::to_string(proxy->port), options.timeout});
        requestEntry.push_back(i);
    }

    std::size_t done = entries.size() - requests.size();
    std::size_t working = 0;
    ProgressLine progress(entries.size());
    const FetchLimits limits{.concurrency = std::min(options.concurrency, RaiseConnectionLimit())};
    FetchPages(requests, limits,
               {.done =
                    [&](std::size_t index, PageAnswer answer) {
                        CheckResult& result = checked[requestEntry[index]].result;
                        result = ClassifyCheck(answer);
                        ++done;
                        working += result.failure ? 0 : 1;
                        progress.Update(done, working);
                    },
                .tick = [&] { progress.Update(done, working); }});
    progress.Update(done, working, /*force=*/true);
    progress.End();
    return checked;
}

} // namespace

int RunCheckCommand(const QStringList& arguments) {
    const auto parsed = ParseCheckOptions(arguments);
    if (const auto* error = std::get_if<UsageError>(&parsed)) {
        Say(error->message + QStringLiteral("\n用 kestrovan-check --help 查看用法。"));
        return kUsageStatus;
    }
    const auto& options = std::get<CheckOptions>(parsed);
    if (options.help) {
        WriteConsoleText(ConsoleStream::Out, CheckHelpText());
        return 0;
    }
    const Endpoints endpoints{options.homeBase, options.lookupBase};
    std::optional<std::vector<std::u16string>> entries = EntriesToCheck(options, endpoints);
    if (!entries) {
        return kUsageStatus;
    }
    const std::vector<CheckedEntry> ordered =
        ReportOrder(CheckEntries(std::move(*entries), options, endpoints));
    if (options.json) {
        WriteConsoleText(ConsoleStream::Out, QString::fromUtf8(ReportJson(ordered)));
    } else {
        WriteConsoleText(ConsoleStream::Out, ReportTable(ordered));
    }
    const std::vector<std::u16string> working = WorkingEntries(ordered);
    if (options.outFile && !WriteExportFile(*options.outFile, working)) {
        Say(QStringLiteral("代理导出失败,无法写入文件 %1").arg(*options.outFile));
        return kUsageStatus;
    }
    return working.empty() ? 1 : 0;
}

} // namespace kestrovan
