#include "platform/linux/GsettingsProxyTarget.h"

#include "platform/linux/GioFunctions.h"

#include <cstring>

namespace kestrovan {

namespace {

constexpr const char* kProxySchema = "org.gnome.system.proxy";
constexpr const char* kHttpSchema = "org.gnome.system.proxy.http";
constexpr const char* kHttpsSchema = "org.gnome.system.proxy.https";

struct Unref {
    void operator()(GSettings* settings) const { Gio()->objectUnref(settings); }
    void operator()(GSettingsSchema* schema) const { Gio()->schemaUnref(schema); }
};
using SettingsPtr = std::unique_ptr<GSettings, Unref>;
using SchemaPtr = std::unique_ptr<GSettingsSchema, Unref>;

// GSettings aborts the program on an unknown schema or a key of another type, so every schema
// and key is checked before the first use.
bool HasKey(const GioFunctions& gio, GSettingsSchema* schema, const char* key, const char* type) {
    if (gio.schemaHasKey(schema, key) == FALSE) {
        return false;
    }
    GSettingsSchemaKey* schemaKey = gio.schemaGetKey(schema, key);
    const bool matches =
        g_variant_type_equal(gio.schemaKeyGetValueType(schemaKey), G_VARIANT_TYPE(type)) != FALSE;
    gio.schemaKeyUnref(schemaKey);
    return matches;
}

SettingsPtr OpenSchema(const GioFunctions& gio, const char* id, GSettingsBackend* backend, bool endpoint) {
    GSettingsSchemaSource* source = gio.schemaSourceGetDefault();
    if (source == nullptr) {
        return nullptr;
    }
    const SchemaPtr schema(gio.schemaSourceLookup(source, id, TRUE));
    if (!schema) {
        return nullptr;
    }
    const bool usable = endpoint
                            ? HasKey(gio, schema.get(), "host", "s") && HasKey(gio, schema.get(), "port", "i")
                            : HasKey(gio, schema.get(), "mode", "s");
    if (!usable) {
        return nullptr;
    }
    return SettingsPtr(gio.settingsNewFull(schema.get(), backend, nullptr));
}

std::string TakeString(gchar* text) {
    std::string result = text != nullptr ? text : "";
    g_free(text);
    return result;
}

ProxyEndpoint ReadEndpoint(GSettings* settings) {
    return ProxyEndpoint{TakeString(Gio()->settingsGetString(settings, "host")),
                         Gio()->settingsGetInt(settings, "port")};
}

bool WriteEndpoint(GSettings* settings, const ProxyEndpoint& endpoint) {
    if (endpoint.port < 0 || endpoint.port > 65535) {
        return false;
    }
    const bool host = Gio()->settingsSetString(settings, "host", endpoint.host.c_str()) != FALSE;
    const bool port = Gio()->settingsSetInt(settings, "port", endpoint.port) != FALSE;
    return host && port;
}

} // namespace

struct GsettingsProxyTarget::Handles {
    SettingsPtr proxy;
    SettingsPtr http;
    SettingsPtr https;
};

std::unique_ptr<GsettingsProxyTarget> GsettingsProxyTarget::Open(_GSettingsBackend* backend) {
    const GioFunctions* gio = Gio();
    if (gio == nullptr) {
        return nullptr;
    }
    auto handles = std::make_unique<Handles>();
    handles->proxy = OpenSchema(*gio, kProxySchema, backend, false);
    handles->http = OpenSchema(*gio, kHttpSchema, backend, true);
    handles->https = OpenSchema(*gio, kHttpsSchema, backend, true);
    if (!handles->proxy || !handles->http || !handles->https) {
        return nullptr;
    }
    return std::make_unique<GsettingsProxyTarget>(std::move(handles));
}

GsettingsProxyTarget::GsettingsProxyTarget(std::unique_ptr<Handles> handles) : handles_(std::move(handles)) {}

GsettingsProxyTarget::~GsettingsProxyTarget() = default;

std::optional<DesktopProxyValue> GsettingsProxyTarget::Read() {
    DesktopProxyValue value;
    const std::string mode = TakeString(Gio()->settingsGetString(handles_->proxy.get(), "mode"));
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
    const GioFunctions& gio = *Gio();
    GSettingsSchema* schema = nullptr;
    gio.objectGet(handles_->proxy.get(), "settings-schema", &schema, nullptr);
    GSettingsSchemaKey* key = gio.schemaGetKey(schema, "mode");
    GVariant* candidate = g_variant_ref_sink(g_variant_new_string(mode));
    const bool inRange = gio.schemaKeyRangeCheck(key, candidate) != FALSE;
    g_variant_unref(candidate);
    gio.schemaKeyUnref(key);
    gio.schemaUnref(schema);
    ok = inRange && gio.settingsSetString(handles_->proxy.get(), "mode", mode) != FALSE && ok;
    gio.settingsSync();
    return ok;
}

bool GsettingsProxyTarget::Persistent() {
    const GioFunctions& gio = *Gio();
    GSettingsBackend* backend = nullptr;
    gio.objectGet(handles_->proxy.get(), "backend", &backend, nullptr);
    if (backend == nullptr) {
        return false;
    }
    const char* type = gio.typeName(G_TYPE_FROM_INSTANCE(backend));
    const bool persistent =
        std::strcmp(type, "GMemorySettingsBackend") != 0 && std::strcmp(type, "GNullSettingsBackend") != 0;
    gio.objectUnref(backend);
    return persistent;
}

} // namespace kestrovan
