// Export failures that need POSIX file-system controls (permissions that bind, a file-size limit).
#include "lookup/SpeedTestJournal.h"
#include "platform/linux/DesktopProxyMemory.h"
#include "platform/linux/KdeProxyTarget.h"
#include "tests/support/RunAsNobody.h"
#include "tests/window/ExportTestSupport.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <unistd.h>

namespace kestrovan::test {
namespace {

// A writable file in a folder that takes no new files is written in place, as a plain overwrite
// would; a device or a pipe with a reader takes the bytes and stays what it was; a pipe nobody
// reads fails at once instead of holding the window.
enum class ExportTo { FileInReadOnlyFolder, DevNull, PipeWithReader, PipeWithoutReader };
const char* const kExportToNames[] = {"FileInReadOnlyFolder", "DevNull", "PipeWithReader",
                                      "PipeWithoutReader"};

class ExportTargets : public ExportTest, public ::testing::WithParamInterface<ExportTo> {};

TEST_P(ExportTargets, WriteWhatIsThereWithoutReplacingIt) {
    FetchList(kThreeEntries);
    const QByteArray exported = kThreeEntries.join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
    QString path = Target();
    QFile reader;
    switch (GetParam()) {
    case ExportTo::FileInReadOnlyFolder:
        if (RanAsNobody()) {
            return; // root writes into read-only folders anyway
        }
        WriteFile(path, "old list\r\n");
        ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        break;
    case ExportTo::DevNull:
        path = QStringLiteral("/dev/null");
        break;
    case ExportTo::PipeWithReader:
    case ExportTo::PipeWithoutReader:
        ASSERT_EQ(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);
        if (GetParam() == ExportTo::PipeWithReader) {
            const int fd = ::open(path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK);
            ASSERT_TRUE(
                reader.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle));
        }
        break;
    }
    h.saveDialog.QueueAnswer(path);
    Ui().Click("Command2");
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    const bool fails = GetParam() == ExportTo::PipeWithoutReader;
    EXPECT_EQ(NewLog(), fails ? QStringList{kExportFailed} : QStringList{});
    struct stat info {};
    ASSERT_EQ(::stat(path.toLocal8Bit().constData(), &info), 0);
    switch (GetParam()) {
    case ExportTo::FileInReadOnlyFolder:
        EXPECT_EQ(ReadAll(path), exported);
        break;
    case ExportTo::DevNull:
        EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device was replaced by a file";
        break;
    case ExportTo::PipeWithReader:
        EXPECT_EQ(reader.readAll(), exported);
        [[fallthrough]];
    case ExportTo::PipeWithoutReader:
        EXPECT_TRUE(S_ISFIFO(info.st_mode));
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(Export, ExportTargets,
                         ::testing::Values(ExportTo::FileInReadOnlyFolder, ExportTo::DevNull,
                                           ExportTo::PipeWithReader, ExportTo::PipeWithoutReader),
                         [](const auto& info) {
                             return std::string(kExportToNames[static_cast<int>(info.param)]);
                         });

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

// Every file the program replaces, its write cut short by the size limit (as on a full disk):
// the save reports failure, the old file stays whole and no partial file is left beside it.
struct ShortWriteCase {
    const char* name;
    const char* file;
    bool (*save)(FrmhomeHarness& h, const QString& path);
    bool readOnlyFolder = false; // no file can be made beside it: written in place
};

const std::string kLongText(2000, 'x');

const ShortWriteCase kShortWrites[] = {
    {"Export", "proxies.txt",
     [](FrmhomeHarness& h, const QString& path) {
         QStringList entries;
         for (int i = 0; i < 500; ++i) {
             entries << QStringLiteral("10.0.%1.%2:8080").arg(i / 250).arg(i % 250);
         }
         h.FetchList(entries);
         h.saveDialog.QueueAnswer(path);
         h.Ui().Click("Command2");
         return !h.Log().contains(kExportFailed);
     }},
    {"ExportInPlace", "proxies.txt",
     [](FrmhomeHarness& h, const QString& path) { return kShortWrites[0].save(h, path); }, true},
    {"SpeedTestJournal", "speedtest.journal",
     [](FrmhomeHarness&, const QString& path) {
         // A first short record takes the journal's lock; then the old text is put back.
         SpeedTestJournal journal(path);
         QFile old(path);
         return journal.Write({{}, "1.2.3.4:80"}) != SpeedTestJournal::Kept::Yes ||
                !old.open(QIODevice::WriteOnly) || old.write("old\n") != 4 || !old.flush() ||
                journal.Write({{RegValue(kLongText), RegValue(std::uint32_t{1})}, kLongText}) ==
                    SpeedTestJournal::Kept::Yes;
     }},
    {"DesktopMemory", "desktop-proxy.ini",
     [](FrmhomeHarness&, const QString& path) {
         DesktopProxyMemory memory(path);
         const DesktopProxyValue manual{DesktopProxyMode::Manual, {}, {kLongText, 80}, {kLongText, 80}};
         return memory.Remember("gsettings", {manual, {}});
     }},
    {"KdeFile", "kioslaverc",
     [](FrmhomeHarness&, const QString& path) {
         KdeProxyTarget kde(path, true);
         return kde.Write({DesktopProxyMode::Manual, {}, {kLongText, 80}, {kLongText, 80}});
     }},
};

void PrintTo(const ShortWriteCase& c, std::ostream* out) {
    *out << c.name;
}

class ShortWrite : public ExportTest, public ::testing::WithParamInterface<ShortWriteCase> {};

TEST_P(ShortWrite, KeepsTheOldFileAndFails) {
    if (GetParam().readOnlyFolder && RanAsNobody()) {
        return; // root writes into read-only folders anyway
    }
    const QString path = Target(QString::fromLatin1(GetParam().file));
    WriteFile(path, "old\n");
    if (GetParam().readOnlyFolder) {
        ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    }
    bool saved = true;
    {
        const FileSizeLimit limit(512);
        saved = GetParam().save(h, path);
    }
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadAll(path), QByteArray("old\n"));
    EXPECT_EQ(DirEntries().filter(QRegularExpression(QStringLiteral("^(?!.*\\.lock$)"))),
              QStringList{QString::fromLatin1(GetParam().file)})
        << "the partial file is removed";
}

INSTANTIATE_TEST_SUITE_P(Files, ShortWrite, ::testing::ValuesIn(kShortWrites),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace kestrovan::test
