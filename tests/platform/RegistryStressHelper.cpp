// Hammers one registry file from its own process: kestrovan_registry_stress DB TAG COUNT.
// Each round writes a text and a number under its own key, reads both back and reads the other
// writers' numbers; any failed call or torn value ends it with exit code 1.
#include "platform/posix/SqliteRegistry.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace kestrovan;

namespace {

std::string Payload(const std::string& tag, int round) {
    return tag + "-" + std::to_string(round) + "-" + std::string(200, static_cast<char>('a' + round % 26));
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        return Fail("usage: kestrovan_registry_stress DB TAG COUNT");
    }
    const std::string tag = argv[2];
    const int count = std::atoi(argv[3]);
    SqliteRegistry registry(argv[1]);
    const std::string subKey = "Software\\Stress\\" + tag;
    for (int round = 0; round < count; ++round) {
        RegHandle key = 0;
        if (const auto status = registry.RegCreateKeyA(kHkeyCurrentUser, subKey, key);
            status != kErrorSuccess) {
            return Fail("create failed: " + std::to_string(status));
        }
        const auto text = Payload(tag, round);
        const auto number = static_cast<std::uint32_t>(round);
        const std::array<std::byte, 4> bytes{static_cast<std::byte>(number & 0xff),
                                             static_cast<std::byte>((number >> 8) & 0xff), std::byte{0},
                                             std::byte{0}};
        if (const auto status = registry.RegSetValueExA(key, "Text" + std::to_string(round), 0, kRegSz,
                                                        std::as_bytes(std::span(text)));
            status != kErrorSuccess) {
            return Fail("set text failed: " + std::to_string(status));
        }
        if (const auto status = registry.RegSetValueExA(key, "Last", 0, kRegDword, bytes);
            status != kErrorSuccess) {
            return Fail("set number failed: " + std::to_string(status));
        }
        if (registry.RegCloseKey(key) != kErrorSuccess) {
            return Fail("close failed");
        }
        if (registry.ReadValue(kHkeyCurrentUser, subKey, "Text" + std::to_string(round)) != RegValue(text)) {
            return Fail("text read back wrong in round " + std::to_string(round));
        }
        if (registry.ReadValue(kHkeyCurrentUser, subKey, "Last") != RegValue(number & 0xffff)) {
            return Fail("number read back wrong in round " + std::to_string(round));
        }
        // Another writer's value is absent or whole, never torn.
        const auto other = registry.ReadValue(
            kHkeyCurrentUser, "Software\\Stress\\" + std::string(tag == "A" ? "B" : "A"), "Text0");
        if (other && std::get<std::string>(*other).size() != Payload("A", 0).size()) {
            return Fail("torn value seen");
        }
    }
    return 0;
}
