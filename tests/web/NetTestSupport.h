#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace kestrovan::test {

// A loopback port that nothing listens on (taken from the system, then released).
inline quint16 ClosedLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (had_) {
            qputenv(name_, old_);
        } else {
            qunsetenv(name_);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// Debian's tinyproxy on a free loopback port, in the foreground, stopped with the test.
class Tinyproxy {
public:
    static QString Program() {
        for (const char* path : {"/usr/sbin/tinyproxy", "/usr/bin/tinyproxy"}) {
            if (QFile::exists(QLatin1String(path))) {
                return QLatin1String(path);
            }
        }
        return {};
    }

    bool Start() {
        if (!dir_.isValid()) {
            return false;
        }
        port_ = ClosedLoopbackPort();
        QStringList config{
            QStringLiteral("Port %1").arg(port_),
            QStringLiteral("Listen 127.0.0.1"),
            QStringLiteral("Allow 127.0.0.1"),
            QStringLiteral("MaxClients 10"),
            QStringLiteral("Timeout 30"),
            QStringLiteral("LogFile \"%1\"").arg(dir_.filePath(QStringLiteral("tinyproxy.log"))),
            QStringLiteral("PidFile \"%1\"").arg(dir_.filePath(QStringLiteral("tinyproxy.pid")))};
        if (geteuid() == 0) {
            // It refuses to keep root; the unprivileged user must still reach its files.
            config << QStringLiteral("User nobody") << QStringLiteral("Group nogroup");
            QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                   QFile::ReadOther | QFile::WriteOther | QFile::ExeOther |
                                                   QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup);
        }
        const QString configPath = dir_.filePath(QStringLiteral("tinyproxy.conf"));
        QFile file(configPath);
        if (!file.open(QIODevice::WriteOnly)) {
            return false;
        }
        file.write(config.join(u'\n').toUtf8() + "\n");
        file.close();
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(Program(), {QStringLiteral("-d"), QStringLiteral("-c"), configPath});
        if (!process_.waitForStarted(5000)) {
            return false;
        }
        for (int attempt = 0; attempt < 50; ++attempt) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port_);
            if (socket.waitForConnected(200)) {
                return true;
            }
            QTest::qWait(100);
        }
        return false;
    }

    ~Tinyproxy() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(3000)) {
                process_.kill();
                process_.waitForFinished(3000);
            }
        }
    }

    quint16 Port() const { return port_; }
    QString Output() { return QString::fromLocal8Bit(process_.readAll()); }

private:
    QTemporaryDir dir_;
    QProcess process_;
    quint16 port_ = 0;
};

} // namespace kestrovan::test
