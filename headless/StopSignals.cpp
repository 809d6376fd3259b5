#include "headless/StopSignals.h"

#include <QSocketNotifier>

#ifdef Q_OS_WIN
#include <QMetaObject>
#include <QPointer>

#include <atomic>
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace quorvane {

#ifdef Q_OS_WIN

namespace {

std::atomic<StopSignals*> g_instance{nullptr};
HANDLE g_stopped = nullptr; // manual reset: set once the station has stopped
// Windows gives a closing console 5 s before it ends the process.
constexpr DWORD kCloseWaitMs = 4500;

// Runs on a thread of its own that Windows starts for the event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    StopSignals* self = g_instance.load();
    if (self == nullptr)
        return FALSE;
    QMetaObject::invokeMethod(
        self, [self, event] { Q_EMIT self->stopRequested(static_cast<int>(event)); },
        Qt::QueuedConnection);
    // After Ctrl+C or Ctrl+Break the process lives on; after the others it
    // ends when this returns.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        WaitForSingleObject(g_stopped, kCloseWaitMs);
    return TRUE;
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    if (g_stopped == nullptr)
        g_stopped = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_instance = this;
    m_valid = g_stopped != nullptr && SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopSignals::~StopSignals() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_instance = nullptr;
    stopped();
}

void StopSignals::stopped() {
    if (g_stopped != nullptr)
        SetEvent(g_stopped);
}

void StopSignals::drain() {}

#else

namespace {

int g_signalFds[2] = {-1, -1};

extern "C" void OnStopSignal(int signal) {
    const char byte = static_cast<char>(signal);
    // Only async-signal-safe calls here.
    [[maybe_unused]] const ssize_t written = ::write(g_signalFds[0], &byte, 1);
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    if (g_signalFds[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalFds) != 0)
        return;
    ::fcntl(g_signalFds[0], F_SETFL, O_NONBLOCK);
    ::fcntl(g_signalFds[1], F_SETFL, O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_signalFds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopSignals::drain);
    m_valid = true;

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

StopSignals::~StopSignals() {
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
}

void StopSignals::stopped() {}

void StopSignals::drain() {
    char bytes[16];
    const ssize_t n = ::read(g_signalFds[1], bytes, sizeof bytes);
    if (n > 0)
        emit stopRequested(bytes[0]);
}

#endif

} // namespace quorvane
