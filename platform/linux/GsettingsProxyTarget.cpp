#include "platform/linux/GsettingsProxyTarget.h"

#include <gio/gio.h>

#include <cstring>

namespace kestrovan {

namespace {

constexpr const char* kProxySchema = "org.gnome.system.proxy";
constexpr const char* kHttpSchema = "org.gnome.system.proxy.http";
constexpr const char* kHttpsSchema = "org.gnome.system.proxy.https";

struct Unref {
    void operator()(GSettings* settings) const { g_object_unref(settings); }
    void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
};
using SettingsPtr = std::unique_ptr<GSettings, Unref>;
using SchemaPtr = std::unique_ptr<GSettingsSchema, Unref>;

// GSettings aborts the program on an unknown schema or a key of another type, so every schema
// and key is checked before the first use.
bool HasKey(GSettingsSchema* schema, const char* key, const char* type) {
    if (g_settings_schema_has_key(schema, key) == FALSE) {
        return false;
    }
    GSettingsSchemaKey* schemaKey = g_settings_schema_get_key(schema, key);
    const bool matches =
        g_variant_type_equal(g_settings_schema_key_get_value_type(schemaKey), G_VARIANT_TYPE(type)) != FALSE;
    g_settings_schema_key_unref(schemaKey);
    return matches;
}

SettingsPtr OpenSchema(const char* id, GSettingsBackend* backend, bool endpoint) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (source == nullptr) {
        return nullptr;
    }
    const SchemaPtr schema(g_settings_schema_source_lookup(source, id, TRUE));
    if (!schema) {
        return nullptr;
    }
    const bool usable = endpoint ? HasKey(schema.get(), "host", "s") && HasKey(schema.get(), "port", "i")
                                 : HasKey(schema.get(), "mode", "s");
    if (!usable) {
        return nullptr;
    }
    return SettingsPtr(g_settings_new_full(schema.get(), backend, nullptr));
}

std::string TakeString(gchar* text) {
    std::string result = text != nullptr ? text : "";
    g_free(text);
    return result;
}

ProxyEndpoint ReadEndpoint(GSettings* settings) {
    return ProxyEndpoint{TakeString(g_settings_get_string(settings, "host")),
                         g_settings_get_int(settings, "port")};
}

bool WriteEndpoint(GSettings* settings, const ProxyEndpoint& endpoint) {
    if (endpoint.port < 0 || endpoint.port > 65535) {
        return false;
    }
    const bool host = g_settings_set_string(settings, "host", endpoint.host.c_str()) != FALSE;
    const bool port = g_settings_set_int(settings, "port", endpoint.port) != FALSE;
    return host && port;
}

} // namespace

struct GsettingsProxyTarget::Handles {
    SettingsPtr proxy;
    SettingsPtr http;
    SettingsPtr https;
};

std::unique_ptr<GsettingsProxyTarget> GsettingsProxyTarget::Open(_GSettingsBackend* backend) {
    auto handles = std::make_unique<Handles>();
    handles->proxy = OpenSchema(kProxySchema, backend, false);
    handles->http = OpenSchema(kHttpSchema, backend, true);
    handles->https = OpenSchema(kHttpsSchema, backend, true);
    if (!handles->proxy || !handles->http || !handles->https) {
        return nullptr;
    }
    return std::make_unique<GsettingsProxyTarget>(std::move(handles));
}

GsettingsProxyTarget::GsettingsProxyTarget(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

GsettingsProxyTarget::~GsettingsProxyTarget() = default;

std::optional<DesktopProxyValue> GsettingsProxyTarget::Read() {
    DesktopProxyValue value;
    const std::string mode = TakeString(g_settings_get_string(handles_->proxy.get(), "mode"));
    if (mode == "none") {
        value.mode = DesktopProxyMode::None;
    } else if (mode == "manual") {
        value.mode = DesktopProxyMode::Manual;
    } else {
        value.mode = DesktopProxyMode::Other;
        value.otherMode = mode;
    }
    value.http = ReadEndpoint(handles_->http.get());
    value.https = ReadEndpoint(handles_->https.get());
    return value;
}

bool GsettingsProxyTarget::Write(const DesktopProxyValue& value) {
    const char* mode = "none";
    if (value.mode == DesktopProxyMode::Manual) {
        mode = "manual";
    } else if (value.mode == DesktopProxyMode::Other) {
        mode = value.otherMode.c_str();
    }
    // Endpoints first, mode last: a reader that wakes on the mode change sees a complete setting.
    bool ok = WriteEndpoint(handles_->http.get(), value.http);
    ok = WriteEndpoint(handles_->https.get(), value.https) && ok;
    // An enumerated key refuses (and warns about) a name outside its range; check first.
    GSettingsSchema* schema = nullptr;
    g_object_get(handles_->proxy.get(), "settings-schema", &schema, nullptr);
    GSettingsSchemaKey* key = g_settings_schema_get_key(schema, "mode");
    GVariant* candidate = g_variant_ref_sink(g_variant_new_string(mode));
    const bool inRange = g_settings_schema_key_range_check(key, candidate) != FALSE;
    g_variant_unref(candidate);
    g_settings_schema_key_unref(key);
    g_settings_schema_unref(schema);
    ok = inRange && g_settings_set_string(handles_->proxy.get(), "mode", mode) != FALSE && ok;
    g_settings_sync();
    return ok;
}

bool GsettingsProxyTarget::Persistent() {
    GSettingsBackend* backend = nullptr;
    g_object_get(handles_->proxy.get(), "backend", &backend, nullptr);
    if (backend == nullptr) {
        return false;
    }
    const char* type = G_OBJECT_TYPE_NAME(backend);
    const bool persistent =
        std::strcmp(type, "GMemorySettingsBackend") != 0 && std::strcmp(type, "GNullSettingsBackend") != 0;
    g_object_unref(backend);
    return persistent;
}

} // namespace kestrovan
