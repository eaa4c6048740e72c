#pragma once

#include "platform/NativePlatform.h"

#include <QAbstractNativeEventFilter>

namespace kestrovan {

// The end of the Windows session (WM_ENDSESSION for a session that really ends) goes to the
// program's end-request handler first; when the handler does not end the program, Qt's own
// handling follows.
class SessionEndFilter final : public QAbstractNativeEventFilter {
public:
    SessionEndFilter() = default;
    ~SessionEndFilter() override;
    SessionEndFilter(const SessionEndFilter&) = delete;
    SessionEndFilter& operator=(const SessionEndFilter&) = delete;

    // Sends the session's end to handler from now on; needs a QCoreApplication.
    void Watch(NativePlatform::EndRequestHandler handler);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    NativePlatform::EndRequestHandler handler_;
};

} // namespace kestrovan
