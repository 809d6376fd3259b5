#pragma once

#include "core/log/GbkText.h"
#include "core/log/StationLog.h"
#include "core/workflow/RowTimerService.h"
#include "gui/window/CQuorvaneDlg.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QMap>
#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace quorvane::testing {

// Timers the test fires by hand.
struct ManualTimers final : RowTimerService {
    QMap<int, int> active; // id -> period
    void SetTimer(int id, int periodMs) override { active[id] = periodMs; }
    void KillTimer(int id) override { active.remove(id); }
    void fire(int id, int times = 1) {
        for (int i = 0; i < times; ++i)
            tick(id);
    }
};

// A window on a temporary program folder and an ephemeral port, with the
// sounds and the file-open dialog recorded instead of played and shown.
struct WindowRig {
    QTemporaryDir dir;
    std::unique_ptr<StationLog> log;
    ManualTimers timers;
    QList<int> sounds;
    QStringList pickerFolders;
    QStringList pickerFilters;
    QString pickerAnswer;
    std::unique_ptr<CQuorvaneDlg> window;

    WindowRig() {
        QDir(dir.path()).mkpath(QStringLiteral("Log"));
        log = std::make_unique<StationLog>(dir.path());
    }
    QString programDir() const { return dir.path() + QLatin1Char('/'); }
    QString path(const QString& name) const { return programDir() + name; }

    void writeFile(const QString& name, const QByteArray& bytes) const {
        QFile f(path(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    // A root image and a "sysfile" that chooses it (0x08; 0x09 writes the MAC too).
    void writeRootSetup(const QByteArray& image, char flags = 0x08) const {
        writeFile(QStringLiteral("root.bin"), image);
        QByteArray record(789, '\0');
        record[0] = flags;
        const QByteArray root = path(QStringLiteral("root.bin")).toUtf8();
        record.replace(275, root.size(), root);
        writeFile(QStringLiteral("sysfile"), record);
    }
    QByteArray readFile(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString logText() const {
        QFile f(log->logFilePath());
        return f.open(QIODevice::ReadOnly) ? FromGbk(f.readAll()) : QString();
    }

    CQuorvaneDlg& open() {
        CQuorvaneDlg::Services services;
        services.log = log.get();
        services.timers = &timers;
        services.playSound = [this](int id) { sounds << id; };
        services.pickFile = [this](QWidget*, const QString& folder, const QString& filters) {
            pickerFolders << folder;
            pickerFilters << filters;
            return pickerAnswer;
        };
        window = std::make_unique<CQuorvaneDlg>(programDir(), 0, services);
        return *window;
    }
    CQuorvaneDlg& openShown() {
        CQuorvaneDlg& w = open();
        w.show();
        [&] { QVERIFY(QTest::qWaitForWindowExposed(&w)); }();
        return w;
    }

    template <typename T>
    T* control(int id) const {
        return qobject_cast<T*>(window->control(id));
    }

    // Message boxes the window has open now.
    QList<QMessageBox*> messageBoxes() const {
        QList<QMessageBox*> open;
        for (QMessageBox* box : window->findChildren<QMessageBox*>()) {
            if (box->isVisible())
                open << box;
        }
        return open;
    }
};

// A "sysfile" record of 789 bytes, zero but for what the test sets.
inline QByteArray Record(quint8 flags) {
    QByteArray r(789, '\0');
    r[0] = static_cast<char>(flags);
    return r;
}

inline void PutText(QByteArray& record, int offset, const QByteArray& text) {
    record.replace(offset, text.size(), text);
}

} // namespace quorvane::testing
