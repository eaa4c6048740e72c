// libcurl's entry points as the check calls them, resolved from the shared library the first time
// one is called. The window maps libcurl, its TLS library and what they bring (Kerberos, LDAP,
// SSH, ...) only once a check of the list runs, not at every start; kestrovan-check loads it at
// its first transfer. Programs link these definitions instead of libcurl's import library.
//
// Where the library cannot be loaded, every call fails the way libcurl itself reports failure
// (CURLE_FAILED_INIT, a null handle), which the engine turns into a broken load per entry.
#include <curl/curl.h>

#include <QLibrary>

#include <cstdarg>

namespace {

struct CurlApi {
    decltype(&curl_global_init) global_init = nullptr;
    decltype(&curl_easy_init) easy_init = nullptr;
    decltype(&curl_easy_cleanup) easy_cleanup = nullptr;
    decltype(&curl_easy_setopt) easy_setopt = nullptr;
    decltype(&curl_easy_getinfo) easy_getinfo = nullptr;
    decltype(&curl_easy_pause) easy_pause = nullptr;
    decltype(&curl_easy_strerror) easy_strerror = nullptr;
    decltype(&curl_multi_init) multi_init = nullptr;
    decltype(&curl_multi_cleanup) multi_cleanup = nullptr;
    decltype(&curl_multi_setopt) multi_setopt = nullptr;
    decltype(&curl_multi_add_handle) multi_add_handle = nullptr;
    decltype(&curl_multi_remove_handle) multi_remove_handle = nullptr;
    decltype(&curl_multi_perform) multi_perform = nullptr;
    decltype(&curl_multi_poll) multi_poll = nullptr;
    decltype(&curl_multi_info_read) multi_info_read = nullptr;
    decltype(&curl_multi_socket_action) multi_socket_action = nullptr;
    decltype(&curl_slist_append) slist_append = nullptr;
    decltype(&curl_slist_free_all) slist_free_all = nullptr;
};

template <typename Function> void Resolve(QLibrary& library, Function& function, const char* name) {
    function = reinterpret_cast<Function>(library.resolve(name));
}

// Loaded once, on first use, and kept for the process's life; thread-safe as a function static.
const CurlApi& Curl() {
    static const CurlApi api = [] {
        CurlApi loaded;
        static QLibrary library(QStringLiteral(KESTROVAN_CURL_LIBRARY));
        if (!library.load()) {
            return loaded;
        }
        Resolve(library, loaded.global_init, "curl_global_init");
        Resolve(library, loaded.easy_init, "curl_easy_init");
        Resolve(library, loaded.easy_cleanup, "curl_easy_cleanup");
        Resolve(library, loaded.easy_setopt, "curl_easy_setopt");
        Resolve(library, loaded.easy_getinfo, "curl_easy_getinfo");
        Resolve(library, loaded.easy_pause, "curl_easy_pause");
        Resolve(library, loaded.easy_strerror, "curl_easy_strerror");
        Resolve(library, loaded.multi_init, "curl_multi_init");
        Resolve(library, loaded.multi_cleanup, "curl_multi_cleanup");
        Resolve(library, loaded.multi_setopt, "curl_multi_setopt");
        Resolve(library, loaded.multi_add_handle, "curl_multi_add_handle");
        Resolve(library, loaded.multi_remove_handle, "curl_multi_remove_handle");
        Resolve(library, loaded.multi_perform, "curl_multi_perform");
        Resolve(library, loaded.multi_poll, "curl_multi_poll");
        Resolve(library, loaded.multi_info_read, "curl_multi_info_read");
        Resolve(library, loaded.multi_socket_action, "curl_multi_socket_action");
        Resolve(library, loaded.slist_append, "curl_slist_append");
        Resolve(library, loaded.slist_free_all, "curl_slist_free_all");
        return loaded;
    }();
    return api;
}

// A setopt call passes one value after the option, its type told by the option's number: long,
// object or function pointer, curl_off_t, or a blob pointer (curl.h's CURLOPTTYPE_* ranges, the
// same for easy and multi options). Function pointers travel as data pointers on every ABI built for.
template <typename Handle, typename Option, typename Result>
Result ForwardOption(Result (*setopt)(Handle*, Option, ...), Handle* handle, Option option, va_list values,
                     Result failure) {
    if (!setopt) {
        return failure;
    }
    const int kind = static_cast<int>(option) / 10000 * 10000;
    switch (kind) {
    case CURLOPTTYPE_LONG:
        return setopt(handle, option, va_arg(values, long));
    case CURLOPTTYPE_OFF_T:
        return setopt(handle, option, va_arg(values, curl_off_t));
    default: // object, string, slist, function and blob pointers
        return setopt(handle, option, va_arg(values, void*));
    }
}

} // namespace

extern "C" {

CURLcode curl_global_init(long flags) {
    return Curl().global_init ? Curl().global_init(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init() {
    return Curl().easy_init ? Curl().easy_init() : nullptr;
}

void curl_easy_cleanup(CURL* handle) {
    if (handle && Curl().easy_cleanup) {
        Curl().easy_cleanup(handle);
    }
}

CURLcode curl_easy_setopt(CURL* handle, CURLoption option, ...) {
    va_list values;
    va_start(values, option);
    const CURLcode result = ForwardOption(Curl().easy_setopt, handle, option, values, CURLE_FAILED_INIT);
    va_end(values);
    return result;
}

CURLcode curl_easy_getinfo(CURL* handle, CURLINFO info, ...) {
    if (!Curl().easy_getinfo) {
        return CURLE_FAILED_INIT;
    }
    va_list values;
    va_start(values, info);
    void* target = va_arg(values, void*); // every CURLINFO_* takes one pointer to its result
    va_end(values);
    return Curl().easy_getinfo(handle, info, target);
}

CURLcode curl_easy_pause(CURL* handle, int bitmask) {
    return Curl().easy_pause ? Curl().easy_pause(handle, bitmask) : CURLE_FAILED_INIT;
}

const char* curl_easy_strerror(CURLcode code) {
    return Curl().easy_strerror ? Curl().easy_strerror(code) : "libcurl could not be loaded";
}

CURLM* curl_multi_init() {
    return Curl().multi_init ? Curl().multi_init() : nullptr;
}

CURLMcode curl_multi_cleanup(CURLM* multi) {
    return Curl().multi_cleanup ? Curl().multi_cleanup(multi) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_setopt(CURLM* multi, CURLMoption option, ...) {
    va_list values;
    va_start(values, option);
    const CURLMcode result = ForwardOption(Curl().multi_setopt, multi, option, values, CURLM_INTERNAL_ERROR);
    va_end(values);
    return result;
}

CURLMcode curl_multi_add_handle(CURLM* multi, CURL* handle) {
    return Curl().multi_add_handle ? Curl().multi_add_handle(multi, handle) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_remove_handle(CURLM* multi, CURL* handle) {
    return Curl().multi_remove_handle ? Curl().multi_remove_handle(multi, handle) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_perform(CURLM* multi, int* running) {
    return Curl().multi_perform ? Curl().multi_perform(multi, running) : CURLM_INTERNAL_ERROR;
}

CURLMcode curl_multi_poll(CURLM* multi, curl_waitfd extra[], unsigned int extraCount, int timeoutMs,
                          int* ready) {
    return Curl().multi_poll ? Curl().multi_poll(multi, extra, extraCount, timeoutMs, ready)
                             : CURLM_INTERNAL_ERROR;
}

CURLMsg* curl_multi_info_read(CURLM* multi, int* left) {
    return Curl().multi_info_read ? Curl().multi_info_read(multi, left) : nullptr;
}

CURLMcode curl_multi_socket_action(CURLM* multi, curl_socket_t socket, int eventMask, int* running) {
    return Curl().multi_socket_action ? Curl().multi_socket_action(multi, socket, eventMask, running)
                                      : CURLM_INTERNAL_ERROR;
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
    return Curl().slist_append ? Curl().slist_append(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
    if (list && Curl().slist_free_all) {
        Curl().slist_free_all(list);
    }
}

} // extern "C"
