// The SQLite store itself: file modes, damaged and unwritable files, name rules, two processes.
#include "platform/posix/SqliteRegistry.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace kestrovan::test {
namespace {

unsigned Mode(const QString& path) {
    struct stat info {};
    return ::stat(path.toLocal8Bit().constData(), &info) == 0 ? (info.st_mode & 07777u) : 0xffffu;
}

RegStatus WriteText(SqliteRegistry& registry, const std::string& subKey, const std::string& name,
                    const std::string& text) {
    RegHandle key = 0;
    if (const auto status = registry.RegCreateKeyA(kHkeyCurrentUser, subKey, key); status != kErrorSuccess) {
        return status;
    }
    const auto status = registry.RegSetValueExA(key, name, 0, kRegSz, std::as_bytes(std::span(text)));
    registry.RegCloseKey(key);
    return status;
}

class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : previous_(::umask(mask)) {}
    ~UmaskGuard() { ::umask(previous_); }

private:
    mode_t previous_;
};

class SqliteStoreTest : public ::testing::Test {
protected:
    QString DbPath() const { return dir_.filePath("cfg/kestrovan/registry.db"); }
    QTemporaryDir dir_;
};

TEST_F(SqliteStoreTest, CreatesOwnerOnlyFolderAndFilesWhateverTheUmask) {
    UmaskGuard guard(0);
    SqliteRegistry registry(DbPath().toStdString());
    EXPECT_EQ(registry.ReadValue(kHkeyCurrentUser, "Software", "X"), std::nullopt);
    EXPECT_FALSE(QFile::exists(DbPath())) << "a read must not create the store";

    ASSERT_EQ(WriteText(registry, "Software", "X", "1"), kErrorSuccess);
    EXPECT_EQ(Mode(DbPath()), 0600u);
    EXPECT_EQ(Mode(dir_.filePath("cfg/kestrovan")), 0700u);
    EXPECT_EQ(Mode(dir_.filePath("cfg")), 0700u);
    for (const char* suffix : {"-wal", "-shm"}) {
        if (QFile::exists(DbPath() + suffix)) {
            EXPECT_EQ(Mode(DbPath() + suffix), 0600u) << suffix;
        }
    }
}

TEST_F(SqliteStoreTest, TightensAnExistingFileAndKeepsIt) {
    QDir().mkpath(dir_.filePath("cfg/kestrovan"));
    { std::ofstream touch(DbPath().toStdString()); }
    ::chmod(DbPath().toLocal8Bit().constData(), 0666);
    SqliteRegistry registry(DbPath().toStdString());
    ASSERT_EQ(WriteText(registry, "Software", "X", "kept"), kErrorSuccess);
    EXPECT_EQ(Mode(DbPath()), 0600u);
    EXPECT_EQ(SqliteRegistry(DbPath().toStdString()).ReadValue(kHkeyCurrentUser, "Software", "X"),
              RegValue(std::string("kept")));
}

// Damaged stores: reads see nothing, writes fail, nothing crashes.
struct DamageCase {
    const char* name;
    void (*damage)(const std::string& path);
};

class DamagedStoreTest : public SqliteStoreTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedStoreTest, ReadsNothingAndWritesFail) {
    QDir().mkpath(dir_.filePath("cfg/kestrovan"));
    GetParam().damage(DbPath().toStdString());
    SqliteRegistry registry(DbPath().toStdString());
    for (int attempt = 0; attempt < 2; ++attempt) { // the second round reopens after the failure
        EXPECT_EQ(registry.ReadValue(kHkeyCurrentUser, "Software", "X"), std::nullopt);
        RegHandle key = 0;
        EXPECT_NE(registry.RegCreateKeyA(kHkeyCurrentUser, "Software", key), kErrorSuccess);
        EXPECT_NE(WriteText(registry, "", "X", "y"), kErrorSuccess);
        const std::string data = "v";
        EXPECT_NE(registry.RegSetValueExA(kHkeyCurrentUser, "X", 0, kRegSz, std::as_bytes(std::span(data))),
                  kErrorSuccess);
        EXPECT_NE(registry.RegDeleteValueA(kHkeyCurrentUser, "X"), kErrorSuccess);
        KeyListing listing;
        EXPECT_NE(registry.ListKey(kHkeyCurrentUser, "Software", listing), kErrorSuccess);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DamagedStoreTest,
    ::testing::Values(DamageCase{"Garbage",
                                 [](const std::string& path) {
                                     std::ofstream file(path, std::ios::binary);
                                     for (int i = 0; i < 512; ++i) {
                                         file << "not a database at all ";
                                     }
                                 }},
                      DamageCase{"TruncatedHeader",
                                 [](const std::string& path) {
                                     std::ofstream(path, std::ios::binary) << "SQLite format 3";
                                 }},
                      DamageCase{"ForeignSchema",
                                 [](const std::string& path) {
                                     // A sound SQLite file whose tables are not ours.
                                     sqlite3* db = nullptr;
                                     sqlite3_open(path.c_str(), &db);
                                     sqlite3_exec(db, "CREATE TABLE keys(x); CREATE TABLE values_(y);",
                                                  nullptr, nullptr, nullptr);
                                     sqlite3_close(db);
                                 }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SqliteStoreTest, WritesFailWhereTheFolderCannotBeMade) {
    {
        std::ofstream blocker(dir_.filePath("cfg").toStdString()); // a file where the folder should be
    }
    SqliteRegistry registry(DbPath().toStdString());
    EXPECT_NE(WriteText(registry, "Software", "X", "y"), kErrorSuccess);
    EXPECT_EQ(registry.ReadValue(kHkeyCurrentUser, "Software", "X"), std::nullopt);
}

TEST_F(SqliteStoreTest, WritesFailInAReadOnlyFolder) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not bind root";
    }
    QDir().mkpath(dir_.filePath("cfg"));
    ::chmod(dir_.filePath("cfg").toLocal8Bit().constData(), 0500);
    SqliteRegistry registry(DbPath().toStdString());
    EXPECT_NE(WriteText(registry, "Software", "X", "y"), kErrorSuccess);
    ::chmod(dir_.filePath("cfg").toLocal8Bit().constData(), 0700);
}

// Empty segments are refused (as the real registry refuses a leading "\"), and so are names the
// ANSI calls could not carry.
TEST_F(SqliteStoreTest, RefusesMalformedNames) {
    SqliteRegistry registry(DbPath().toStdString());
    for (const std::string& subKey : std::vector<std::string>{
             "\\A", "A\\", "A\\\\B", "\\", std::string(256, 'k'), std::string("A\0B", 3)}) {
        RegHandle key = 0;
        EXPECT_EQ(registry.RegCreateKeyA(kHkeyCurrentUser, subKey, key), kErrorInvalidParameter) << subKey;
        EXPECT_EQ(registry.ReadValue(kHkeyCurrentUser, subKey, "V"), std::nullopt);
    }
    RegHandle key = 0;
    EXPECT_EQ(registry.RegCreateKeyA(kHkeyCurrentUser, std::string(255, 'k'), key), kErrorSuccess);
    const std::string data = "x";
    EXPECT_EQ(registry.RegSetValueExA(key, std::string("N\0M", 3), 0, kRegSz, std::as_bytes(std::span(data))),
              kErrorInvalidParameter);
    const std::vector<std::byte> huge(1024 * 1024 + 1);
    EXPECT_EQ(registry.RegSetValueExA(key, "Huge", 0, 3, huge), kErrorInvalidParameter);
}

TEST_F(SqliteStoreTest, NamesKeepTheCaseTheyWereCreatedWith) {
    SqliteRegistry registry(DbPath().toStdString());
    ASSERT_EQ(WriteText(registry, "Software\\MixedCase", "ProxyServer", "a"), kErrorSuccess);
    ASSERT_EQ(WriteText(registry, "SOFTWARE\\mixedcase", "PROXYSERVER", ""), kErrorSuccess);
    KeyListing listing;
    ASSERT_EQ(registry.ListKey(kHkeyCurrentUser, "software", listing), kErrorSuccess);
    EXPECT_EQ(listing.subKeys, (std::vector<std::string>{"Microsoft", "MixedCase"}))
        << "beside a new profile's";
    ASSERT_EQ(registry.ListKey(kHkeyCurrentUser, "software\\MIXEDCASE", listing), kErrorSuccess);
    ASSERT_EQ(listing.values.size(), 1u);
    EXPECT_EQ(listing.values[0].name, "ProxyServer");
    EXPECT_EQ(listing.values[0].type, kRegSz);
    EXPECT_TRUE(listing.values[0].data.empty()) << "an empty text is stored with length 0";
}

TEST_F(SqliteStoreTest, TextEndsAtAStoredTerminator) {
    SqliteRegistry registry(DbPath().toStdString());
    ASSERT_EQ(WriteText(registry, "Software", "Z", std::string("abc\0def", 7)), kErrorSuccess);
    EXPECT_EQ(registry.ReadValue(kHkeyCurrentUser, "Software", "Z"), RegValue(std::string("abc")));
}

TEST_F(SqliteStoreTest, AnotherInstanceSeesWritesAtOnce) {
    SqliteRegistry monitor(DbPath().toStdString());
    SqliteRegistry writer(DbPath().toStdString());
    EXPECT_EQ(monitor.ReadValue(kHkeyCurrentUser, "Software", "V"), std::nullopt);
    for (const std::string text : {"one", "two", "three"}) {
        ASSERT_EQ(WriteText(writer, "Software", "V", text), kErrorSuccess);
        EXPECT_EQ(monitor.ReadValue(kHkeyCurrentUser, "Software", "V"), RegValue(text));
    }
    RegHandle key = 0;
    ASSERT_EQ(writer.RegCreateKeyA(kHkeyCurrentUser, "Software", key), kErrorSuccess);
    ASSERT_EQ(writer.RegDeleteValueA(key, "V"), kErrorSuccess);
    EXPECT_EQ(monitor.ReadValue(kHkeyCurrentUser, "Software", "V"), std::nullopt);
}

TEST_F(SqliteStoreTest, ARemovedFileReadsEmptyAndIsMadeAgain) {
    SqliteRegistry registry(DbPath().toStdString());
    ASSERT_EQ(WriteText(registry, "Software", "V", "old"), kErrorSuccess);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        QFile::remove(DbPath() + suffix);
    }
    EXPECT_EQ(registry.ReadValue(kHkeyCurrentUser, "Software", "V"), std::nullopt);
    ASSERT_EQ(WriteText(registry, "Software", "W", "new"), kErrorSuccess);
    EXPECT_EQ(SqliteRegistry(DbPath().toStdString()).ReadValue(kHkeyCurrentUser, "Software", "W"),
              RegValue(std::string("new")));
}

TEST_F(SqliteStoreTest, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kRounds = 1500;
    std::vector<std::unique_ptr<QProcess>> writers;
    for (const char* tag : {"A", "B"}) {
        auto process = std::make_unique<QProcess>();
        process->start(QStringLiteral(KESTROVAN_STRESS_HELPER_PATH),
                       {DbPath(), QString::fromLatin1(tag), QString::number(kRounds)});
        writers.push_back(std::move(process));
    }
    for (auto& process : writers) {
        ASSERT_TRUE(process->waitForFinished(60000));
        EXPECT_EQ(process->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
    }
    SqliteRegistry registry(DbPath().toStdString());
    for (const std::string tag : {"A", "B"}) {
        KeyListing listing;
        ASSERT_EQ(registry.ListKey(kHkeyCurrentUser, "Software\\Stress\\" + tag, listing), kErrorSuccess);
        EXPECT_EQ(listing.values.size(), static_cast<std::size_t>(kRounds + 1));
        EXPECT_EQ(registry.ReadValue(kHkeyCurrentUser, "Software\\Stress\\" + tag, "Last"),
                  RegValue(std::uint32_t{kRounds - 1}));
        EXPECT_EQ(registry.ReadValue(kHkeyCurrentUser, "Software\\Stress\\" + tag, "Text777"),
                  RegValue(tag + "-777-" + std::string(200, static_cast<char>('a' + 777 % 26))));
    }
}

TEST(SqliteRegistryDefaultPath, FollowsXdgConfigHomeThenHome) {
    const auto saveXdg = qgetenv("XDG_CONFIG_HOME");
    const auto saveHome = qgetenv("HOME");
    const bool hadXdg = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    struct Case {
        const char* xdg; // nullptr: unset
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        {"/x/cfg", "/home/u", "/x/cfg/kestrovan/registry.db"},
        {"", "/home/u", "/home/u/.config/kestrovan/registry.db"},
        {"relative/cfg", "/home/u", "/home/u/.config/kestrovan/registry.db"},
        {nullptr, "/home/u", "/home/u/.config/kestrovan/registry.db"},
        {nullptr, "", ""},
    };
    for (const auto& c : cases) {
        if (c.xdg) {
            qputenv("XDG_CONFIG_HOME", c.xdg);
        } else {
            qunsetenv("XDG_CONFIG_HOME");
        }
        qputenv("HOME", c.home);
        EXPECT_EQ(SqliteRegistry::DefaultPath(), c.expected) << (c.xdg ? c.xdg : "(unset)");
    }
    qputenv("HOME", saveHome);
    if (hadXdg) {
        qputenv("XDG_CONFIG_HOME", saveXdg);
    } else {
        qunsetenv("XDG_CONFIG_HOME");
    }
}

} // namespace
} // namespace kestrovan::test
