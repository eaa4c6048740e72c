#include "platform/qt/BasicAdapters.h"

#include <QGuiApplication>
#include <QScreen>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace kestrovan {

void ThreadSleeper::Sleep(int milliseconds) {
    if (milliseconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
}

void ImmediateTerminator::EndProgram() {
    std::fflush(nullptr);
    std::_Exit(0);
}

QSize QtScreenInfo::ScreenSize() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->size() : QSize();
}

} // namespace kestrovan
