#include "headless/ConsoleInput.h"

#include <QSocketNotifier>

#ifdef Q_OS_WIN
#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QString>

#include <thread>
#include <windows.h>
#else
#include <cerrno>
#include <unistd.h>
#endif

namespace quorvane {

#ifdef Q_OS_WIN

namespace {

// One blocking read: a console as UTF-16 (its own code page may not be
// UTF-8), a pipe or file as bytes. Empty at the end of input.
QByteArray ReadSome(HANDLE input) {
    DWORD mode = 0;
    DWORD got = 0;
    if (GetConsoleMode(input, &mode)) {
        wchar_t wide[1024];
        if (!ReadConsoleW(input, wide, 1024, &got, nullptr))
            return {};
        // Ctrl+Z at the start of a line ends console input, as it does for cmd.
        if (got > 0 && wide[0] == 0x1A)
            return {};
        return QString::fromWCharArray(wide, static_cast<qsizetype>(got)).toUtf8();
    }
    char bytes[4096];
    if (!ReadFile(input, bytes, sizeof bytes, &got, nullptr))
        return {};
    return QByteArray(bytes, static_cast<qsizetype>(got));
}

} // namespace

ConsoleInput::ConsoleInput(QObject* parent) : QObject(parent) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    QPointer<ConsoleInput> self(this);
    // Detached: a blocking console read cannot be cancelled; the thread ends
    // with the process, and what it reads after
    // this object is gone is dropped.
    std::thread([input, self] {
        for (;;) {
            const QByteArray bytes = ReadSome(input);
            QCoreApplication* app = QCoreApplication::instance();
            if (app == nullptr)
                return;
            QMetaObject::invokeMethod(
                app,
                [self, bytes] {
                    if (self && bytes.isEmpty())
                        Q_EMIT self->ended();
                    else if (self)
                        Q_EMIT self->received(bytes);
                },
                Qt::QueuedConnection);
            if (bytes.isEmpty())
                return;
        }
    }).detach();
}

void ConsoleInput::readAvailable() {}

void UseUtf8ConsoleOutput() {
    SetConsoleOutputCP(CP_UTF8);
}

#else

ConsoleInput::ConsoleInput(QObject* parent) : QObject(parent) {
    m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &ConsoleInput::readAvailable);
}

void ConsoleInput::readAvailable() {
    char buffer[4096];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        m_notifier->setEnabled(false);
        Q_EMIT ended();
        return;
    }
    Q_EMIT received(QByteArray(buffer, n));
}

void UseUtf8ConsoleOutput() {}

#endif

} // namespace quorvane
