// GCC 12 takes the copy of a queued std::optional<QString> in the save dialog double for a read
// of uninitialised memory once it inlines it here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "tests/fakes/FakeDialogs.h"
#pragma GCC diagnostic pop

#include "tests/faults/FaultRig.h"

#include "tests/support/ListFetch.h"

#include "demo/DemoContent.h"
#include "demo/LookupPages.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace kestrovan::test {
namespace {

constexpr int kHeartbeatMs = 10;

qint64 StatusField(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(static_cast<qsizetype>(qstrlen(field)))
                .trimmed()
                .split(' ')
                .value(0)
                .toLongLong();
        }
    }
    return -1;
}

std::unique_ptr<SiteServer> ListeningServer() {
    auto server = std::make_unique<SiteServer>();
    if (!server->Listen()) {
        ADD_FAILURE() << "no loopback port: " << server->ErrorString().toStdString();
    }
    return server;
}

} // namespace

Heartbeat::Heartbeat() {
    timer_.setInterval(kHeartbeatMs);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout,
                     [this] { maxGapMs_ = std::max(maxGapMs_, sinceLast_.restart()); });
}

void Heartbeat::Start() {
    maxGapMs_ = 0;
    sinceLast_.start();
    timer_.start();
}

qint64 Heartbeat::MaxGapMs() const {
    // The time since the last beat counts too: a loop blocked right now has not turned.
    return std::max(maxGapMs_, sinceLast_.elapsed());
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return done();
}

qint64 ResidentKiB() {
    return StatusField("VmRSS:");
}

qint64 PeakResidentKiB() {
    return StatusField("VmHWM:");
}

void ResetPeakMemory() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly)) {
        clearRefs.write("5"); // resets the high-water mark to the present size
    }
}

SiteAnswer Answer(int status, QByteArray body, QByteArray contentType) {
    SiteAnswer answer;
    answer.status = status;
    answer.body = std::move(body);
    answer.contentType = std::move(contentType);
    return answer;
}

SiteAnswer Redirect(const QString& location) {
    SiteAnswer answer = Answer(302, "<body>moved</body>");
    answer.extraHeaders.append({"Location", location.toUtf8()});
    return answer;
}

QByteArray BinaryGarbage(qsizetype size) {
    QRandomGenerator random(20240611);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char& byte : bytes) {
        auto value = static_cast<unsigned char>(random.bounded(256));
        if (value >= '0' && value <= '9') {
            value = static_cast<unsigned char>(value + 0x80);
        }
        byte = static_cast<char>(value);
    }
    return bytes;
}

QByteArray Utf16Le(const QString& text) {
    QByteArray bytes;
    for (const QChar c : text) {
        bytes.append(static_cast<char>(c.unicode() & 0xff));
        bytes.append(static_cast<char>(c.unicode() >> 8));
    }
    return bytes;
}

RealWebWindow::RealWebWindow(RegistryChoice registryChoice, const QString& journalFile,
                             const ListCheckSettings& checkSettings)
    : home(ListeningServer()), lookup(ListeningServer()),
      registry(registryChoice.operations ? *registryChoice.operations : fakeRegistry),
      registryReader(registryChoice.reader ? *registryChoice.reader : fakeRegistry),
      pageLoaders(registryReader),
      speedTestJournal(journalFile), endpoints{home->BaseUrl(), lookup->BaseUrl()} {
    window = std::make_unique<Frmhome>(FrmhomeAdapters{registry, registryReader, internetSettings, http,
                                                       pageLoaders, messageDialog, saveDialog, sleeper,
                                                       processStarter, terminator, screen, speedTestJournal},
                                       endpoints, nullptr, checkSettings);
}

RealWebWindow::~RealWebWindow() {
    window.reset();
    // Aborted replies and closed sockets are deleted later; let them go before the servers.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void RealWebWindow::ServeHealthySites() {
    home->ServeHomeSite(DemoContent());
    lookup->ServeLookupService();
}

bool RealWebWindow::StartUp() {
    ServeHealthySites();
    return window->Form_Load();
}

bool RealWebWindow::FetchList(const QStringList& entries) {
    return FetchListFrom(*home, *window, entries);
}

bool RealWebWindow::SelectEntry(const QString& entry) {
    if (!FetchList({entry})) {
        return false;
    }
    Ui().Select(0);
    return true;
}

void RealWebWindow::SetSystemProxy(const QString& server) {
    if (server.isEmpty()) {
        fakeRegistry.SetDword(kHkeyCurrentUser, kInternetSettingsSubKey, "ProxyEnable", 0);
        fakeRegistry.Remove(kHkeyCurrentUser, kInternetSettingsSubKey, "ProxyServer");
        return;
    }
    fakeRegistry.SetString(kHkeyCurrentUser, kInternetSettingsSubKey, "ProxyServer", server.toStdString());
    fakeRegistry.SetDword(kHkeyCurrentUser, kInternetSettingsSubKey, "ProxyEnable", 1);
}

std::optional<RegValue> RealWebWindow::Setting(const char* name) {
    return registryReader.ReadValue(kHkeyCurrentUser, kInternetSettingsSubKey, name);
}

QStringList RealWebWindow::Log() const {
    return Ui().Lines("List2");
}

QStringList RealWebWindow::Entries() const {
    return Ui().Lines("List1");
}

int RealWebWindow::Count(const SiteServer& server, const QByteArray& path) {
    int count = 0;
    for (const RecordedRequest& request : server.Requests()) {
        count += request.Path() == path ? 1 : 0;
    }
    return count;
}

int RealWebWindow::ProbeCount(const SiteServer& server, const QByteArray& path) {
    int count = 0;
    for (const RecordedRequest& request : server.Requests()) {
        count += request.Path() == path && request.HasHeader("If-Modified-Since") ? 1 : 0;
    }
    return count;
}

} // namespace kestrovan::test
