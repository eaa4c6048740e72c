#include "check/CheckCommand.h"

#include "check/BackgroundJobs.h"
#include "check/CheckPlan.h"
#include "check/CheckOptions.h"
#include "check/CheckReport.h"
#include "check/EntrySources.h"
#include "check/PageFetches.h"
#include "check/PemCertificates.h"
#include "check/ProxyCheck.h"
#include "check/ServiceProbe.h"
#include "platform/Console.h"
#include "platform/ProcessResources.h"
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
        request, FetchLimits{.concurrency = 1, .extraTrustPem = {}},
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

// Reading a page (decoding, HTML parse) takes up to a quarter of a second for the largest; it runs
// beside the transfer loop so that no other check's time runs out meanwhile.
constexpr std::size_t kPageReaders = 2;

std::vector<CheckedEntry> CheckEntries(CheckPlan plan, const CheckOptions& options,
                                       const QByteArray& extraTrust) {
    std::vector<CheckedEntry>& checked = plan.checked;

    // Both legs must end before a check has its verdict.
    struct Pending {
        std::optional<CheckResult> page;
        std::optional<PageAnswer> tunnel;
    };
    std::vector<Pending> pending(plan.checkEntry.size());
    std::size_t done = checked.size() - plan.checkEntry.size();
    std::size_t working = 0;
    ProgressLine progress(checked.size());
    const auto settle = [&](std::size_t check) {
        Pending& legs = pending[check];
        if (!legs.page || (plan.legsPerCheck > 1 && !legs.tunnel)) {
            return;
        }
        CheckResult& result = checked[plan.checkEntry[check]].result;
        result = CombineLegs(*legs.page, legs.tunnel);
        legs = Pending{};
        ++done;
        working += result.failure ? 0 : 1;
        progress.Update(done, working);
    };

    BackgroundJobs pageReaders(kPageReaders, &LowerThisThreadPriority);
    const FetchLimits limits{.concurrency = ChecksAtOnce(options.concurrency),
                             .legsPerGroup = plan.legsPerCheck,
                             .extraTrustPem = extraTrust};
    FetchPages(plan.requests, limits,
               {.done =
                    [&](std::size_t index, PageAnswer answer) {
                        const std::size_t check = plan.CheckOf(index);
                        if (plan.IsTunnelLeg(index)) {
                            pending[check].tunnel = std::move(answer);
                            settle(check);
                            return;
                        }
                        pageReaders.Post([&, check, answer = std::move(answer)]() mutable {
                            CheckResult result = ClassifyCheck(answer);
                            answer = PageAnswer(); // the page's memory goes back to the budget now
                            return [&, check, result] {
                                pending[check].page = result;
                                settle(check);
                            };
                        });
                    },
                .tick =
                    [&] {
                        pageReaders.RunFinished();
                        progress.Update(done, working);
                    }});
    pageReaders.FinishAll();
    progress.Update(done, working, /*force=*/true);
    progress.End();
    return checked;
}

// Asks the lookup service and the tunnel target once each, without a proxy.
ServiceHealth ProbeServices(const CheckPlan& plan, const QByteArray& extraTrust) {
    const std::vector<PageRequest> probes = ServiceProbes(plan);
    std::vector<PageAnswer> answers(probes.size());
    FetchPages(probes, FetchLimits{.concurrency = probes.size(), .extraTrustPem = extraTrust},
               {.done = [&](std::size_t index, PageAnswer answer) { answers[index] = std::move(answer); },
                .tick = {}});
    return ReadServiceProbes(answers);
}

// The certificates trusted beside the system's: the build's own and those of --ca-file, whose
// every certificate block must be whole.
std::optional<QByteArray> ExtraTrust(const CheckOptions& options) {
    QByteArray trust = ConfiguredTunnelTrust();
    if (options.caFile) {
        const std::optional<QByteArray> file = ReadListFile(*options.caFile);
        const PemCertificates certificates = ReadPemCertificates(file.value_or(QByteArray()));
        if (certificates.brokenBlock != 0) {
            Say(QStringLiteral("CA证书文件 %1 中第%2个证书已损坏")
                    .arg(*options.caFile)
                    .arg(certificates.brokenBlock));
            return std::nullopt;
        }
        if (!file || certificates.count == 0) {
            Say(QStringLiteral("无法读取CA证书文件 %1 (PEM格式, 不超过4MB)").arg(*options.caFile));
            return std::nullopt;
        }
        trust += '\n' + certificates.pem;
    }
    return trust;
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
    const std::optional<QByteArray> extraTrust = ExtraTrust(options);
    if (!extraTrust) {
        return kUsageStatus;
    }
    std::optional<std::vector<std::u16string>> entries = EntriesToCheck(options, endpoints);
    if (!entries) {
        return kUsageStatus;
    }
    CheckPlan plan = PlanChecks(std::move(*entries), endpoints, options.tunnelUrl, options.timeout);
    // A server every check relies on that does not answer would be blamed on every proxy.
    const ServiceHealth health = ProbeServices(plan, *extraTrust);
    if (!health.lookupAnswers) {
        Say(QStringLiteral("IP查询服务 %1 没有应答 (不经代理直接访问也未得到查询结果), 未检测代理.")
                .arg(options.lookupBase));
        return kUsageStatus;
    }
    if (!health.tunnelAnswers) {
        const QString silent =
            QStringLiteral("HTTPS测试地址 %1 没有应答 (不经代理直接访问也无法建立经过验证的TLS连接), ")
                .arg(options.tunnelUrl);
        if (options.httpsOnly) {
            // Every proxy would be dropped for what the target did: no answer beats a wrong one.
            Say(silent + QStringLiteral("无法按 --https-only 检测, 未检测代理."));
            return kUsageStatus;
        }
        Say(silent + QStringLiteral("本次不检测HTTPS, 各代理均为 HTTPS 未检测."));
        DropTunnelLegs(plan);
    }
    const std::vector<CheckedEntry> ordered =
        ReportOrder(CheckEntries(std::move(plan), options, *extraTrust));
    // The file first: a reader that stops early (| head) ends the program on its next write.
    const std::vector<std::u16string> working = WorkingEntries(ordered, options.httpsOnly);
    if (options.outFile && working.empty()) {
        Say(QStringLiteral("没有可用的代理, 文件 %1 保持不变").arg(*options.outFile));
    } else if (options.outFile && !WriteExportFile(*options.outFile, working)) {
        Say(QStringLiteral("代理导出失败,无法写入文件 %1").arg(*options.outFile));
        return kUsageStatus;
    }
    if (options.json) {
        WriteConsoleText(ConsoleStream::Out, QString::fromUtf8(ReportJson(ordered)));
    } else {
        WriteConsoleText(ConsoleStream::Out, ReportTable(ordered));
    }
    return working.empty() ? 1 : 0;
}

} // namespace kestrovan
