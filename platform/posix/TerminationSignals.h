#pragma once

#include <QObject>

#include <functional>
#include <vector>

class QSocketNotifier;

namespace kestrovan {

// SIGTERM, SIGINT and SIGHUP, taken on the GUI thread; one that was ignored at start stays
// ignored. The first signal is handed to the handler from the event loop; when the handler
// returns false (it did not end the program), the program ends by the signal as it would have
// without this watcher. A second signal meanwhile ends it at once. One watcher per process.
class TerminationSignals final : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<bool()>;

    explicit TerminationSignals(Handler handler, QObject* parent = nullptr);
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    void Deliver();

    Handler handler_;
    int pipe_[2] = {-1, -1}; // written by the signal handler, read on the GUI thread
    std::vector<int> watched_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace kestrovan
