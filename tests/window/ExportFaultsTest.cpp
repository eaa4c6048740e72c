// Export failures that need POSIX file-system controls (permissions that bind, a file-size limit).
#include "tests/window/ExportTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace kestrovan::test {
namespace {

TEST_F(ExportTest, ReadOnlyDirectoryKeepsTheOldFile) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only directories; the size-limit case covers this as root";
    }
    W().List1->addItems(kThreeEntries);
    WriteFile(Target(), "old list\r\n");
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    h.saveDialog.QueueAnswer(Target());
    W().Command2->click();
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(ReadAll(Target()), QByteArray("old list\r\n"));
    EXPECT_EQ(NewLog(), QStringList{kExportFailed});
}

// Makes writes beyond a few bytes fail (EFBIG) for as long as it lives, also for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = nullptr;
};

TEST_F(ExportTest, WriteThatFailsPartWayKeepsTheOldFile) {
    QStringList entries;
    for (int i = 0; i < 500; ++i) {
        entries << QStringLiteral("10.0.%1.%2:8080").arg(i / 250).arg(i % 250);
    }
    W().List1->addItems(entries);
    WriteFile(Target(), "old list\r\n");
    h.saveDialog.QueueAnswer(Target());
    {
        const FileSizeLimit limit(64);
        W().Command2->click();
    }
    EXPECT_EQ(ReadAll(Target()), QByteArray("old list\r\n"));
    EXPECT_EQ(NewLog(), QStringList{kExportFailed});
    EXPECT_EQ(DirEntries(), QStringList{QStringLiteral("proxies.txt")}) << "the partial file is removed";
}

} // namespace
} // namespace kestrovan::test
