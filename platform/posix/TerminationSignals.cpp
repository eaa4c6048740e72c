#include "platform/posix/TerminationSignals.h"

#include <QSocketNotifier>

#include <array>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace kestrovan {

namespace {

constexpr std::array kSignals{SIGTERM, SIGINT, SIGHUP};

volatile sig_atomic_t signalPipe = -1;
volatile sig_atomic_t signalTaken = 0;

// Async-signal-safe: one write of the signal's number. A second signal while the first is still
// being handled ends the program by its default action at once.
extern "C" void OnTerminationSignal(int number) {
    if (signalTaken != 0) {
        ::signal(number, SIG_DFL);
        ::raise(number);
        return;
    }
    signalTaken = 1;
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(signalPipe, &byte, 1);
}

// A signal that was ignored when the program started (nohup, a background job) stays ignored.
bool Ignored(int number) {
    struct sigaction current {};
    return ::sigaction(number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN;
}

void SetAction(int number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(number, &action, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
    if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        return; // the signals keep their default action
    }
    signalPipe = pipe_[1];
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::Deliver);
    for (const int number : kSignals) {
        if (!Ignored(number)) {
            watched_.push_back(number);
            SetAction(number, OnTerminationSignal);
        }
    }
}

TerminationSignals::~TerminationSignals() {
    if (notifier_ == nullptr) {
        return;
    }
    for (const int number : watched_) {
        SetAction(number, SIG_DFL);
    }
    signalPipe = -1;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void TerminationSignals::Deliver() {
    unsigned char number = 0;
    while (::read(pipe_[0], &number, 1) == 1) {
        if (!handler_()) {
            SetAction(number, SIG_DFL);
            ::raise(number);
        }
    }
}

} // namespace kestrovan
