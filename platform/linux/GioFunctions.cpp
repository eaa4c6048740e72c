#include "platform/linux/GioFunctions.h"

#include <dlfcn.h>

#include <optional>

namespace kestrovan {

namespace {

template <typename Function> bool Resolve(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

std::optional<GioFunctions> Load() {
    // Never unloaded: GIO keeps threads and types of its own once used.
    void* library = dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return std::nullopt;
    }
    GioFunctions f{};
    const bool complete =
        Resolve(library, "g_object_unref", f.objectUnref) && Resolve(library, "g_object_get", f.objectGet) &&
        Resolve(library, "g_type_name", f.typeName) &&
        Resolve(library, "g_settings_schema_source_get_default", f.schemaSourceGetDefault) &&
        Resolve(library, "g_settings_schema_source_lookup", f.schemaSourceLookup) &&
        Resolve(library, "g_settings_schema_unref", f.schemaUnref) &&
        Resolve(library, "g_settings_schema_has_key", f.schemaHasKey) &&
        Resolve(library, "g_settings_schema_get_key", f.schemaGetKey) &&
        Resolve(library, "g_settings_schema_key_get_value_type", f.schemaKeyGetValueType) &&
        Resolve(library, "g_settings_schema_key_range_check", f.schemaKeyRangeCheck) &&
        Resolve(library, "g_settings_schema_key_unref", f.schemaKeyUnref) &&
        Resolve(library, "g_settings_new_full", f.settingsNewFull) &&
        Resolve(library, "g_settings_get_string", f.settingsGetString) &&
        Resolve(library, "g_settings_get_int", f.settingsGetInt) &&
        Resolve(library, "g_settings_set_string", f.settingsSetString) &&
        Resolve(library, "g_settings_set_int", f.settingsSetInt) &&
        Resolve(library, "g_settings_sync", f.settingsSync) &&
        Resolve(library, "g_dbus_connection_new_for_address_sync", f.dbusConnectionNewForAddressSync) &&
        Resolve(library, "g_dbus_connection_emit_signal", f.dbusConnectionEmitSignal) &&
        Resolve(library, "g_dbus_connection_flush_sync", f.dbusConnectionFlushSync) &&
        Resolve(library, "g_dbus_connection_close_sync", f.dbusConnectionCloseSync);
    if (!complete) {
        return std::nullopt;
    }
    return f;
}

} // namespace

const GioFunctions* Gio() {
    static const std::optional<GioFunctions> functions = Load();
    return functions ? &*functions : nullptr;
}

} // namespace kestrovan
