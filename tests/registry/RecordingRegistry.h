#pragma once

#include "platform/RegistryOperations.h"

#include <cstdio>
#include <string>
#include <vector>

namespace kestrovan::test {

// Records every registry call as one line of text. With an inner registry it forwards the call
// and records the real status; without one it answers with the scripted statuses.
class RecordingRegistry final : public RegistryOperations {
public:
    explicit RecordingRegistry(RegistryOperations* inner = nullptr) : inner_(inner) {}

    std::vector<std::string> calls;
    std::vector<RegStatus> statuses;
    RegStatus createStatus = kErrorSuccess;
    RegStatus workStatus = kErrorSuccess;
    RegHandle handleToDeliver = 0x1234;

    RegStatus RegCreateKeyA(RegHandle root, std::string_view subKey, RegHandle& key) override {
        calls.push_back("create " + Hex(root) + " " + std::string(subKey));
        return Record(inner_ ? inner_->RegCreateKeyA(root, subKey, key) : Scripted(createStatus, key));
    }
    RegStatus RegSetValueExA(RegHandle key, std::string_view valueName, std::uint32_t reserved,
                             std::uint32_t type, std::span<const std::byte> data) override {
        std::string bytes;
        for (const auto b : data) {
            bytes += Hex(static_cast<unsigned>(b), "%02X");
        }
        calls.push_back("set " + Hex(key) + " " + std::string(valueName) + " " + std::to_string(reserved) +
                        " " + std::to_string(type) + " [" + bytes + "] " + std::to_string(data.size()));
        return Record(inner_ ? inner_->RegSetValueExA(key, valueName, reserved, type, data) : workStatus);
    }
    RegStatus RegDeleteValueA(RegHandle key, std::string_view valueName) override {
        calls.push_back("delete " + Hex(key) + " " + std::string(valueName));
        return Record(inner_ ? inner_->RegDeleteValueA(key, valueName) : workStatus);
    }
    RegStatus RegCloseKey(RegHandle key) override {
        calls.push_back("close " + Hex(key));
        return Record(inner_ ? inner_->RegCloseKey(key) : kErrorSuccess);
    }

    static std::string Hex(unsigned value, const char* format = "%X") {
        char text[16];
        std::snprintf(text, sizeof text, format, value);
        return text;
    }

private:
    RegStatus Scripted(RegStatus status, RegHandle& key) const {
        if (status == kErrorSuccess) {
            key = handleToDeliver;
        }
        return status;
    }
    RegStatus Record(RegStatus status) {
        statuses.push_back(status);
        return status;
    }

    RegistryOperations* inner_;
};

} // namespace kestrovan::test
