#include "tests/support/RunAsNobody.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <optional>

#include <grp.h>
#include <unistd.h>

namespace kestrovan::test {

namespace {

// The child's exit code, or nullopt when it could not be run as nobody here.
std::optional<int> RunAsNobody(QString* output) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.setChildProcessModifier([] {
        const gid_t group = 65534;
        if (::setgroups(1, &group) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) {
            ::_exit(97);
        }
    });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    // The child runs this one test, whichever shard of the program the parent is.
    environment.remove(QStringLiteral("GTEST_TOTAL_SHARDS"));
    environment.remove(QStringLiteral("GTEST_SHARD_INDEX"));
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=%1.%2")
                     .arg(QString::fromLatin1(info->test_suite_name()), QString::fromLatin1(info->name()))});
    if (!child.waitForStarted(5000) || !child.waitForFinished(60000)) {
        return std::nullopt;
    }
    *output = QString::fromLocal8Bit(child.readAll());
    if (child.exitStatus() != QProcess::NormalExit || child.exitCode() == 97) {
        return std::nullopt;
    }
    return child.exitCode();
}

} // namespace

bool RanAsNobody() {
    if (::geteuid() != 0) {
        return false;
    }
    QString output;
    const std::optional<int> exitCode = RunAsNobody(&output);
    if (!exitCode) {
        [&] { GTEST_SKIP() << "cannot run as an ordinary user here: " << output.toStdString(); }();
        return true;
    }
    EXPECT_EQ(*exitCode, 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
    return true;
}

} // namespace kestrovan::test
