// The WinINet notification, the process start, the pause, the program end and the state folder
// under Wine.
#include "WineTestChild.h"

#include "platform/StateFolder.h"
#include "platform/windows/WinInetSettings.h"
#include "platform/windows/WindowsBasics.h"
#include "platform/windows/WindowsLauncher.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace kestrovan {
namespace {

TEST(WinInetSettingsTest, TheSettingsChangedNotificationIsAccepted) {
    EXPECT_TRUE(SendInternetSettingsChanged());
    WinInetSettings().SettingsChanged(); // the adapter itself ignores the result
}

TEST(WindowsLauncherTest, ArgumentsStayOneArgument) {
    const struct {
        std::string_view argument;
        std::string_view quoted;
    } cases[] = {
        {"http://127.0.0.1:17480", "http://127.0.0.1:17480"},
        {"http://home.example", "http://home.example"},
        {"", "\"\""},
        {"http://a b", "\"http://a b\""},
        {"a\"b", "\"a\\\"b\""},
        {"C:\\dir name\\", "\"C:\\dir name\\\\\""},
        {"a\\\\\"b c", "\"a\\\\\\\\\\\"b c\""},
        {"C:\\plain\\path", "C:\\plain\\path"},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(QuoteArgument(row.argument), row.quoted) << row.argument;
    }
    EXPECT_EQ(ExplorerCommandLine("http://127.0.0.1:17480"), "explorer.exe http://127.0.0.1:17480");
}

TEST(WindowsLauncherTest, ExplorerIsNamedByItsFullPath) {
    const auto path = ExplorerPath();
    ASSERT_TRUE(path.has_value());
    EXPECT_TRUE(path->ends_with("\\explorer.exe")) << *path;
    EXPECT_EQ(::GetFileAttributesA(path->c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u) << *path;
}

TEST(WindowsLauncherTest, AddressesWithControlCharactersAreNotStarted) {
    using namespace std::string_view_literals;
    for (const auto url : {"http://a\r\nb"sv, "http://a\tb"sv, "http://a\0b"sv}) {
        EXPECT_FALSE(OpenWithExplorer(url));
    }
}

TEST(WindowsLauncherTest, AMissingProgramReportsFailure) {
    EXPECT_FALSE(StartMinimized("C:\\no\\such\\program.exe", "program.exe x"));
}

TEST(WindowsLauncherTest, TheChildStartsMinimisedWithItsArgumentWholeAndIsNotAwaited) {
    // A folder with a blank in its name checks that the argument reaches the child in one piece.
    const auto folder = std::filesystem::temp_directory_path() /
                        ("kestrovan launch " + std::to_string(::GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    const auto report = folder / "style.txt";
    const std::string self = test::OwnExecutable();
    const std::string line = QuoteArgument(self) + " --report-show-window " + QuoteArgument(report.string());
    ASSERT_TRUE(StartMinimized(self, line));

    std::string style;
    for (int waited = 0; waited < 200 && style.empty(); ++waited) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream(report) >> style;
    }
    EXPECT_EQ(style, std::to_string(SW_SHOWMINIMIZED));
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

TEST(WindowsSleeperTest, PausesForTheGivenTimeAndNeverForANegativeOne) {
    const struct {
        int milliseconds;
        int atLeast;
        int below;
    } cases[] = {{-1, 0, 1000}, {-2147483647 - 1, 0, 1000}, {0, 0, 1000}, {120, 110, 5000}};
    WindowsSleeper sleeper;
    for (const auto& row : cases) {
        const auto start = std::chrono::steady_clock::now();
        sleeper.Sleep(row.milliseconds);
        const auto took =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
                .count();
        EXPECT_GE(took, row.atLeast) << row.milliseconds;
        EXPECT_LT(took, row.below) << row.milliseconds;
    }
}

TEST(WindowsTerminatorTest, EndsTheProcessAtOnceWithExitCodeZero) {
    const std::string self = test::OwnExecutable();
    std::string line = QuoteArgument(self) + " --end-program";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(::CreateProcessA(self.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &process));
    ASSERT_EQ(::WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 99;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    EXPECT_EQ(code, 0u);
}

TEST(StateFolderTest, IsTheProgramsOwnFolderInTheLocalApplicationData) {
    std::wstring localAppData(MAX_PATH, L'\0');
    localAppData.resize(::GetEnvironmentVariableW(L"LOCALAPPDATA", localAppData.data(), MAX_PATH));
    ASSERT_FALSE(localAppData.empty());
    EXPECT_EQ(ProgramStateFolder(), std::filesystem::path(localAppData) / L"Kestrovan");
}

} // namespace
} // namespace kestrovan
