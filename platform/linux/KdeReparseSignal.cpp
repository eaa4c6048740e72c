#include "platform/linux/KdeReparseSignal.h"

#include "platform/linux/GioFunctions.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace kestrovan {

namespace {

// GIO would fall back to starting a bus through X11 autolaunch; a proxy switch must not do that.
std::string SessionBusAddress() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        address != nullptr && *address != '\0') {
        return address;
    }
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime == '/') {
        const std::filesystem::path socket = std::filesystem::path(runtime) / "bus";
        std::error_code error;
        if (std::filesystem::is_socket(socket, error)) {
            return "unix:path=" + socket.string();
        }
    }
    return {};
}

} // namespace

bool EmitKioReparseSignal() {
    const std::string address = SessionBusAddress();
    if (address.empty()) {
        return false;
    }
    const GioFunctions* gio = Gio();
    if (gio == nullptr) {
        return false;
    }
    GError* error = nullptr;
    GDBusConnection* connection = gio->dbusConnectionNewForAddressSync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    if (connection == nullptr) {
        g_clear_error(&error);
        return false;
    }
    bool sent =
        gio->dbusConnectionEmitSignal(connection, nullptr, "/KIO/Scheduler", "org.kde.KIO.Scheduler",
                                      "reparseSlaveConfiguration", g_variant_new("(s)", ""), &error) != FALSE;
    g_clear_error(&error);
    sent = gio->dbusConnectionFlushSync(connection, nullptr, &error) != FALSE && sent;
    g_clear_error(&error);
    gio->dbusConnectionCloseSync(connection, nullptr, nullptr);
    gio->objectUnref(connection);
    return sent;
}

} // namespace kestrovan
