#pragma once

#include "platform/RegistryReader.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace kestrovan::test {

// Internet Settings values of the current user, held in a map; any other key is a test error.
class MapRegistry final : public RegistryReader {
public:
    std::optional<RegValue> ReadValue(RegHandle root, std::string_view subKey,
                                      std::string_view name) override {
        EXPECT_EQ(root, kHkeyCurrentUser);
        EXPECT_EQ(subKey, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");
        ++reads;
        const auto found = values.find(std::string(name));
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }

    std::map<std::string, RegValue> values;
    int reads = 0;
};

} // namespace kestrovan::test
