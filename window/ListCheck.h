#pragma once

#include "check/ListCheckRun.h"
#include "web/Endpoints.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QListWidget;
class QListWidgetItem;

namespace kestrovan {

// The check of every entry of List1, from its context menu: kestrovan-check's check, run inside
// the window's event loop. Its progress is one log line rewritten in place; at its end the list is
// sorted by the verdicts, working entries first, and each entry shows its verdict as a tool tip.
// The entries' texts never change, so selection, the switch, the speed test and the export work on
// the new order as before.
class ListCheck final : public QObject {
    Q_OBJECT
public:
    using AppendLog = std::function<void(const QString&)>;
    ListCheck(QListWidget& list, QListWidget& log, AppendLog appendLog, const Endpoints& endpoints,
              ListCheckSettings settings, QObject* parent = nullptr);
    ~ListCheck() override;

    bool Running() const { return run_ != nullptr; }
    // True while the list holds entries a finished check found failed.
    bool HasFailures() const;

    void CheckAll();
    void RemoveFailed();
    // Ends a running check at once; the list stays as it was.
    void Stop();

    // The verdicts of the last check that finished, in the list's new order, and when it finished.
    const std::vector<CheckedEntry>& LastResults() const { return lastResults_; }
    std::optional<std::chrono::steady_clock::time_point> LastFinished() const { return lastFinished_; }

signals:
    // A check finished or was stopped.
    void ended();

private:
    void ShowProgress();
    void Finished();
    void ShowVerdicts(const std::vector<CheckedEntry>& results);

    QListWidget& list_;
    QListWidget& log_;
    AppendLog appendLog_;
    Endpoints endpoints_;
    ListCheckSettings settings_;
    std::unique_ptr<ListCheckRun> run_;
    QListWidgetItem* progressLine_ = nullptr; // List2 never drops a line, so this stays valid
    std::vector<CheckedEntry> lastResults_;
    std::optional<std::chrono::steady_clock::time_point> lastFinished_;
};

} // namespace kestrovan
