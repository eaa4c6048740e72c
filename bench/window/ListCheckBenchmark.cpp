// The window's check of a whole list, in a Qt event loop as the window runs it: 990 loopback
// entries (3 working proxies, 494 refusing ports, 493 proxies that never answer), both legs, the
// speed test's time limit. The loopback servers run on a thread of their own, so that the gaps
// measured are the check's.
// Prints the wall time, the longest gap between two turns of the event loop, the longest a button
// took to answer a click (posted as the window system posts it, ten times a second) and the peak
// memory the check added.
#include "check/ListCheckRun.h"
#include "demo/SiteServer.h"
#include "demo/SlowProxy.h"
#include "demo/TlsTarget.h"
#include "lookup/DelayText.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QTcpServer>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <future>
#include <memory>

namespace {

long PeakKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return 0;
}

struct ServerPorts {
    bool listening = false;
    QString lookupUrl;
    quint16 silent = 0;
    quint16 plain = 0;
    quint16 tunnelling = 0;
    quint16 target = 0;
};

// Runs the servers until the thread is told to quit.
void ServeOnThisThread(const QString& tls, std::promise<ServerPorts>& ready) {
    using namespace kestrovan;
    SiteServer lookup;
    SiteServer silent;
    SlowProxy plain(300);
    SlowProxy tunnelling(300);
    TlsTarget target(
        *LoadTlsIdentity(tls + QStringLiteral("target.pem"), tls + QStringLiteral("target.key")));
    ServerPorts ports;
    ports.listening =
        lookup.Listen() && silent.Listen() && plain.Listen() && tunnelling.Listen() && target.Listen();
    lookup.ServeLookupService();
    silent.SetAnswer(QStringLiteral("/ips.asp"), SiteAnswer{.body = {}, .extraHeaders = {}, .hang = true});
    tunnelling.SetConnectMode(ConnectMode::Tunnel, TlsIdentity());
    ports.lookupUrl = lookup.BaseUrl();
    ports.silent = silent.Port();
    ports.plain = plain.Port();
    ports.tunnelling = tunnelling.Port();
    ports.target = target.Port();
    const bool listening = ports.listening;
    ready.set_value(std::move(ports));
    if (listening) {
        QEventLoop().exec();
    }
}

} // namespace

int main(int argc, char** argv) {
    using namespace kestrovan;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const QString tls = QStringLiteral(KESTROVAN_DEMO_TLS_DIR "/");
    std::promise<ServerPorts> ready;
    std::unique_ptr<QThread> serving(QThread::create([&] { ServeOnThisThread(tls, ready); }));
    serving->start();
    const ServerPorts ports = ready.get_future().get();
    const auto stopServing = qScopeGuard([&] {
        serving->quit();
        serving->wait();
    });
    if (!ports.listening) {
        return 1;
    }
    QTcpServer taken;
    taken.listen(QHostAddress::LocalHost);
    const quint16 refusing = taken.serverPort();
    taken.close();
    const auto at = [](quint16 port) { return QStringLiteral("127.0.0.1:%1").arg(port).toStdU16String(); };
    std::vector<std::u16string> entries{at(ports.plain), at(ports.tunnelling), at(ports.plain)};
    for (int i = 0; i < 987; ++i) {
        entries.push_back(at(i % 2 == 0 ? refusing : ports.silent));
    }
    QFile ca(tls + QStringLiteral("ca.pem"));
    ca.open(QIODevice::ReadOnly);
    const long peakBefore = PeakKiB();
    ListCheckRun run(
        std::move(entries), Endpoints{QString(), ports.lookupUrl},
        {QStringLiteral("https://127.0.0.1:%1/").arg(ports.target), ca.readAll(), kSpeedTestLimit, 1000});
    // A precise 5 ms timer: the longest time between two of its ticks, less 5 ms, is the longest
    // the event loop was held up.
    QTimer turns;
    turns.setTimerType(Qt::PreciseTimer);
    turns.setInterval(5);
    QElapsedTimer sinceTick;
    qint64 longestGapMs = 0;
    QObject::connect(&turns, &QTimer::timeout,
                     [&] { longestGapMs = std::max(longestGapMs, sinceTick.restart() - 5); });
    // A click posted every 100 ms: the time from the post to the button's clicked().
    QPushButton button(QStringLiteral("启用代理"));
    button.show();
    QElapsedTimer sinceClick;
    qint64 longestAnswerMs = 0;
    int answered = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        longestAnswerMs = std::max(longestAnswerMs, sinceClick.elapsed());
        ++answered;
    });
    QTimer clicks;
    clicks.setInterval(100);
    QObject::connect(&clicks, &QTimer::timeout, [&] {
        const QPointF center = QRectF(button.rect()).center();
        const QPointF global = button.mapToGlobal(center);
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QCoreApplication::postEvent(
                &button, new QMouseEvent(type, center, global, Qt::LeftButton,
                                         type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                         Qt::NoModifier));
        }
        sinceClick.start();
    });
    QElapsedTimer wall;
    QObject::connect(&run, &ListCheckRun::finished, &app, &QCoreApplication::quit);
    wall.start();
    sinceTick.start();
    turns.start();
    clicks.start();
    run.Start();
    app.exec();
    std::size_t working = 0;
    for (const CheckedEntry& checked : run.Results()) {
        working += checked.result.failure ? 0 : 1;
    }
    std::printf("entries %zu, working %zu, wall %.2f s, longest event-loop gap %lld ms, clicks answered %d, "
                "longest answer %lld ms, added peak RSS %.1f MiB\n",
                run.Results().size(), working, static_cast<double>(wall.elapsed()) / 1000,
                static_cast<long long>(longestGapMs), answered, static_cast<long long>(longestAnswerMs),
                static_cast<double>(PeakKiB() - peakBefore) / 1024);
    return 0;
}
