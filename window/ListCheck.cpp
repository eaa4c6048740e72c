#include "window/ListCheck.h"

#include "lookup/DelayText.h"

#include <QListWidget>
#include <QSignalBlocker>

namespace kestrovan {
namespace {

// Set on each entry a finished check failed.
constexpr int kFailedRole = Qt::UserRole + 1;

QString VerdictText(const CheckResult& result) {
    if (result.failure) {
        return FailureText(result);
    }
    // An intercepted tunnel is named with its likely cause, since the entry works for pages.
    const QString https = result.https == HttpsSupport::Intercepted
                              ? HttpsWord(result.https) + QStringLiteral(",可能被拦截")
                              : HttpsWord(result.https);
    return QStringLiteral("延时:%1秒 HTTPS:%2")
        .arg(QString::fromStdString(DelayText(static_cast<float>(result.ticks))), https);
}

QStringList EntriesOf(const QListWidget& list) {
    QStringList entries;
    for (int row = 0; row < list.count(); ++row) {
        entries << list.item(row)->text();
    }
    return entries;
}

} // namespace

ListCheck::ListCheck(QListWidget& list, QListWidget& log, AppendLog appendLog, const Endpoints& endpoints,
                     ListCheckSettings settings, QObject* parent)
    : QObject(parent), list_(list), log_(log), appendLog_(std::move(appendLog)), endpoints_(endpoints),
      settings_(std::move(settings)) {}

ListCheck::~ListCheck() = default;

bool ListCheck::HasFailures() const {
    for (int row = 0; row < list_.count(); ++row) {
        if (list_.item(row)->data(kFailedRole).toBool()) {
            return true;
        }
    }
    return false;
}

void ListCheck::CheckAll() {
    Stop();
    std::vector<std::u16string> entries;
    for (const QString& entry : EntriesOf(list_)) {
        entries.push_back(entry.toStdU16String());
    }
    run_ = std::make_unique<ListCheckRun>(std::move(entries), endpoints_, settings_);
    connect(run_.get(), &ListCheckRun::progressed, this, &ListCheck::ShowProgress);
    connect(run_.get(), &ListCheckRun::finished, this, &ListCheck::Finished);
    appendLog_(QString());
    progressLine_ = log_.item(log_.count() - 1);
    ShowProgress();
    run_->Start();
}

void ListCheck::ShowProgress() {
    progressLine_->setText(QStringLiteral("检测中......(%1/%2)").arg(run_->Done()).arg(run_->Total()));
}

void ListCheck::Stop() {
    if (!run_) {
        return;
    }
    progressLine_->setText(QStringLiteral("检测已停止......(%1/%2)").arg(run_->Done()).arg(run_->Total()));
    run_.reset();
    emit ended();
}

void ListCheck::Finished() {
    const std::vector<CheckedEntry> results = run_->Results();
    const ServiceHealth services = run_->Services();
    const std::size_t done = run_->Done();
    run_.release()->deleteLater(); // its signal is still on the stack
    if (!services.lookupAnswers) {
        // No proxy was asked: the list keeps its order and its earlier verdicts.
        progressLine_->setText(QStringLiteral("检测已停止......(%1/%2)").arg(done).arg(results.size()));
        appendLog_(QStringLiteral("IP查询服务没有应答,未检测代理,请稍候重试."));
        return;
    }
    if (!services.tunnelAnswers) {
        appendLog_(QStringLiteral("HTTPS测试地址没有应答,本次未检测HTTPS."));
    }
    progressLine_->setText(QStringLiteral("检测中......(%1/%1)").arg(results.size()));
    std::size_t working = 0;
    std::size_t https = 0;
    for (const CheckedEntry& checked : results) {
        working += checked.result.failure ? 0 : 1;
        https += !checked.result.failure && checked.result.https == HttpsSupport::Supported ? 1 : 0;
    }
    appendLog_(QStringLiteral("检测结束,共%1个,可用%2个,支持HTTPS的%3个.")
                   .arg(results.size())
                   .arg(working)
                   .arg(https));
    ShowVerdicts(results);
    lastResults_ = ReportOrder(results);
    lastFinished_ = std::chrono::steady_clock::now();
    emit ended();
}

void ListCheck::ShowVerdicts(const std::vector<CheckedEntry>& results) {
    QStringList checkedEntries;
    for (const CheckedEntry& checked : results) {
        checkedEntries << QString::fromStdU16String(checked.entry);
    }
    if (EntriesOf(list_) != checkedEntries) {
        return; // the list changed under the check: its verdicts are of another list
    }
    // ReportOrder keeps list order among equals and reads only the verdicts: the rows ride along
    // in place of the entries.
    std::vector<CheckedEntry> rows;
    for (std::size_t row = 0; row < results.size(); ++row) {
        rows.push_back({QString::number(row).toStdU16String(), results[row].result});
    }
    const int selectedRow = list_.selectedItems().isEmpty() ? -1 : list_.row(list_.selectedItems().first());
    std::vector<QListWidgetItem*> items;
    {
        const QSignalBlocker quiet(&list_);
        while (list_.count() > 0) {
            items.push_back(list_.takeItem(0));
        }
    }
    QListWidgetItem* selected = nullptr;
    const QColor failedColour = list_.palette().color(QPalette::Disabled, QPalette::Text);
    const QColor warningColour(0xB3, 0x5C, 0x00);
    for (const CheckedEntry& ordered : ReportOrder(std::move(rows))) {
        const int row = QString::fromStdU16String(ordered.entry).toInt();
        QListWidgetItem* item = items[static_cast<std::size_t>(row)];
        const QString verdict = VerdictText(ordered.result);
        item->setToolTip(verdict);
        item->setData(Qt::AccessibleDescriptionRole, verdict);
        item->setData(kFailedRole, ordered.result.failure.has_value());
        if (ordered.result.failure) {
            item->setForeground(failedColour);
        } else if (ordered.result.https == HttpsSupport::Intercepted) {
            item->setForeground(warningColour);
        } else {
            item->setData(Qt::ForegroundRole, QVariant());
        }
        const QSignalBlocker quiet(&list_);
        list_.addItem(item);
        selected = row == selectedRow ? item : selected;
    }
    if (selected) {
        list_.setCurrentItem(selected); // the same entry, so Text1 and Text2 stay
    }
}

void ListCheck::RemoveFailed() {
    if (Running()) {
        return;
    }
    int removed = 0;
    for (int row = list_.count() - 1; row >= 0; --row) {
        if (list_.item(row)->data(kFailedRole).toBool()) {
            std::unique_ptr<QListWidgetItem> item(list_.takeItem(row));
            ++removed;
        }
    }
    appendLog_(QStringLiteral("已删除不可用代理%1个.").arg(removed));
}

} // namespace kestrovan
