// The shared registry behaviour, run against Wine's real registry.
#include "platform/windows/WindowsRegistry.h"
#include "tests/platform/RegistryConformanceSuite.h"

#include <windows.h>

#include <string>

namespace kestrovan::test {
namespace {

class WindowsBackend {
public:
    WindowsBackend() = default;
    ~WindowsBackend() {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            ::RegDeleteTreeA(root, base_.c_str());
        }
    }
    WindowsBackend(const WindowsBackend&) = delete;
    WindowsBackend& operator=(const WindowsBackend&) = delete;

    RegistryOperations& Operations() { return registry_; }
    RegistryReader& Reader() { return registry_; }
    std::string BaseKey() { return base_; }
    bool KeyExists(RegHandle root, const std::string& subKey) {
        HKEY parent = root == kHkeyLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        HKEY key = nullptr;
        if (::RegOpenKeyExA(parent, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return false;
        }
        ::RegCloseKey(key);
        return true;
    }

private:
    const std::string base_ = "Software\\KestrovanConformance\\" + std::to_string(::GetCurrentProcessId());
    WindowsRegistry registry_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Windows, RegistryConformance, WindowsBackend);

} // namespace
} // namespace kestrovan::test
