#include "platform/windows/SessionEndFilter.h"

#include <windows.h>

#include <QCoreApplication>

namespace kestrovan {

SessionEndFilter::~SessionEndFilter() {
    if (handler_ && QCoreApplication::instance()) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

void SessionEndFilter::Watch(NativePlatform::EndRequestHandler handler) {
    if (!handler_) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    handler_ = std::move(handler);
}

bool SessionEndFilter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) {
    if (eventType != "windows_generic_MSG" || !handler_) {
        return false;
    }
    const auto* msg = static_cast<const MSG*>(message);
    // Only an end that happens: another program may still cancel it while it is being queried.
    if (msg->message != WM_ENDSESSION || msg->wParam == FALSE) {
        return false;
    }
    if (!handler_()) {
        return false;
    }
    if (result) { // the event dispatcher's thread messages come without one
        *result = 0;
    }
    return true;
}

} // namespace kestrovan
