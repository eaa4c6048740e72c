// The shared registry behaviour, run against the SQLite store in a temporary folder.
#include "platform/posix/SqliteRegistry.h"
#include "tests/platform/RegistryConformanceSuite.h"

#include <QTemporaryDir>

namespace kestrovan::test {
namespace {

class SqliteBackend {
public:
    SqliteBackend() : registry_(dir_.filePath("kestrovan/registry.db").toStdString()) {}

    RegistryOperations& Operations() { return registry_; }
    RegistryReader& Reader() { return registry_; }
    std::string BaseKey() { return "Software\\KestrovanConformance"; }
    bool KeyExists(RegHandle root, const std::string& subKey) {
        RegHandle key = 0;
        if (registry_.RegOpenKeyA(root, subKey, key) != kErrorSuccess) {
            return false;
        }
        registry_.RegCloseKey(key);
        return true;
    }

private:
    QTemporaryDir dir_;
    SqliteRegistry registry_;
};

INSTANTIATE_TYPED_TEST_SUITE_P(Sqlite, RegistryConformance, SqliteBackend);

} // namespace
} // namespace kestrovan::test
