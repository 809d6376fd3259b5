// quorvane-screenshots: renders the window pictures of the documentation.
// Run under a virtual X server (scripts/screenshot.sh) with the CJK font.
#include "core/workflow/RowTimerService.h"
#include "core/workflow/Station.h"
#include "gui/widgets/CDlgMac.h"
#include "gui/window/CQuorvaneDlg.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>
#include <functional>

using namespace quorvane;

namespace {

// Row timers that move only when told: the picture shows chosen stages.
struct StillTimers final : RowTimerService {
    void SetTimer(int, int) override {}
    void KillTimer(int) override {}
    void fire(int id, int times) {
        for (int i = 0; i < times; ++i)
            tick(id);
    }
};

bool WaitFor(const std::function<bool()>& done, int ms = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray Settings(const QString& root, const QString& cfg) {
    QByteArray r(789, '\0');
    r[0] = 0x0D; // MAC, configuration, root image
    const QByteArray rootBytes = QFile::encodeName(root);
    const QByteArray cfgBytes = QFile::encodeName(cfg);
    r.replace(275, rootBytes.size(), rootBytes);
    r.replace(531, cfgBytes.size(), cfgBytes);
    return r;
}

class Shots {
public:
    Shots(CQuorvaneDlg& window, StillTimers& timers, QString outDir)
        : m_w(window), m_timers(timers), m_out(std::move(outDir)) {}

    QProcess* Router(bool done) {
        auto* p = new QProcess(&m_w);
        QStringList args{"--port", QString::number(m_w.station().serverPort()), "--crc", "1",
                         "--quiet"};
        if (done)
            args << "--done";
        p->start(QCoreApplication::applicationDirPath() + "/quorvane-router", args);
        return p;
    }

    bool Board(const QString& label, bool done) {
        QProcess* router = Router(done);
        if (!WaitFor([this] { return m_w.macDialog() && m_w.macDialog()->isVisible(); }))
            return Fail("no scan dialog for " + label);
        m_w.macDialog()->entry()->setText(label);
        if (!WaitFor([router] { return router->state() == QProcess::NotRunning; }))
            return Fail("router did not finish for " + label);
        WaitFor([] { return false; }, 200); // the DONE that follows the last block
        return router->exitCode() == 0 || Fail("router failed for " + label);
    }

    bool Save(const QString& name) {
        WaitFor([] { return false; }, 300);
        const QString path = QDir(m_out).filePath(name);
        return m_w.grab().save(path) || Fail("cannot write " + path);
    }

    bool Fail(const QString& why) {
        QTextStream(stderr) << "quorvane-screenshots: " << why << '\n';
        return false;
    }

    CQuorvaneDlg& m_w;
    StillTimers& m_timers;
    QString m_out;
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    const QString out =
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs")).absolutePath();
    QDir().mkpath(out);

    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/quorvane-line-XXXXXX"));
    const QString programDir = folder.path() + QLatin1Char('/');
    QDir(programDir).mkpath(QStringLiteral("Log"));
    QDir::setCurrent(programDir);
    QByteArray image(200000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 31 + (i >> 9));
    WriteFile(programDir + "root_uImage.bin", image);
    WriteFile(programDir + "default.cfg", "SSID1=Line\nAuthMode=WPA2PSK\nWPAPSK1=12345678\n"
                                          "WAN_MAC_ADDR=00:00:00:00:00:00\n");
    WriteFile(programDir + "sysfile",
              Settings(programDir + "root_uImage.bin", programDir + "default.cfg"));

    StillTimers timers;
    CQuorvaneDlg::Services services;
    services.timers = &timers;
    services.playSound = [](int) {};
    CQuorvaneDlg window(programDir, 0, services);
    window.show();
    Shots shots(window, timers, out);
    window.findChild<QPushButton*>(QStringLiteral("1031"))->click();

    bool ok = shots.Save(QStringLiteral("screenshot.png"));
    ok = ok && shots.Board(QStringLiteral("5E3A71123458"), true);
    ok = ok && shots.Board(QStringLiteral("5E3A71123468"), false);
    if (ok) {
        timers.fire(1, 23); // the second board part way through writing its flash
        shots.Router(false);
        ok = WaitFor([&window] { return window.macDialog() != nullptr; });
        if (ok)
            window.macDialog()->hide(); // the picture is of the list behind it
    }
    ok = ok && shots.Save(QStringLiteral("screenshot-boards.png"));

    window.findChild<QPushButton*>(QStringLiteral("1031"))->click();
    for (QProcess* p : window.findChildren<QProcess*>()) {
        p->kill();
        p->waitForFinished();
    }
    return ok ? 0 : 1;
}
