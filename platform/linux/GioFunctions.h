#pragma once

#include <gio/gio.h>

namespace kestrovan {

// The GIO and GObject functions of the desktop bridge, looked up when the bridge first needs
// them. Linking them instead would load GIO, GObject and their libraries at every start, before
// the window shows, while the bridge works only once the proxy is switched.
struct GioFunctions {
    decltype(&g_object_unref) objectUnref;
    decltype(&g_object_get) objectGet;
    decltype(&g_type_name) typeName;
    decltype(&g_settings_schema_source_get_default) schemaSourceGetDefault;
    decltype(&g_settings_schema_source_lookup) schemaSourceLookup;
    decltype(&g_settings_schema_unref) schemaUnref;
    decltype(&g_settings_schema_has_key) schemaHasKey;
    decltype(&g_settings_schema_get_key) schemaGetKey;
    decltype(&g_settings_schema_key_get_value_type) schemaKeyGetValueType;
    decltype(&g_settings_schema_key_range_check) schemaKeyRangeCheck;
    decltype(&g_settings_schema_key_unref) schemaKeyUnref;
    decltype(&g_settings_new_full) settingsNewFull;
    decltype(&g_settings_get_string) settingsGetString;
    decltype(&g_settings_get_int) settingsGetInt;
    decltype(&g_settings_set_string) settingsSetString;
    decltype(&g_settings_set_int) settingsSetInt;
    decltype(&g_settings_sync) settingsSync;
    decltype(&g_dbus_connection_new_for_address_sync) dbusConnectionNewForAddressSync;
    decltype(&g_dbus_connection_emit_signal) dbusConnectionEmitSignal;
    decltype(&g_dbus_connection_flush_sync) dbusConnectionFlushSync;
    decltype(&g_dbus_connection_close_sync) dbusConnectionCloseSync;
};

// Loads libgio-2.0 on the first call; nullptr when it or one of the functions is missing.
const GioFunctions* Gio();

} // namespace kestrovan
