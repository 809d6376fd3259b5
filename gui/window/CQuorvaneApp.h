#pragma once

#include "core/tftp/Wire.h"
#include "gui/widgets/SingleInstance.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class CQuorvaneDlg;

// Start-up: one station per PC. A second start brings the running window
// forward and ends at once.
class CQuorvaneApp : public QObject {
    Q_OBJECT
public:
    // programDir empty: the executable's folder.
    explicit CQuorvaneApp(const QString& instanceName = quorvane::SingleInstance::kDefaultName,
                          const QString& programDir = {}, std::uint16_t port = 69,
                          QObject* parent = nullptr);
    ~CQuorvaneApp() override;

    // True when this process runs the station (its window is then open);
    // false when another one was asked to come forward.
    bool InitInstance();
    // The line-wide database for the station InitInstance makes; empty: none.
    void setLineRecord(const QString& url) { m_lineUrl = url; }
    // The largest block a standard client that asks for one is given.
    void setMaxBlockSize(std::uint32_t size) { m_maxBlockSize = size; }
    // InitInstance, then the event loop until the window closes; the exit code.
    int Run();

    CQuorvaneDlg* mainWindow() const { return m_window.get(); }

private:
    quorvane::SingleInstance m_instance;
    QString m_programDir;
    std::uint16_t m_port;
    QString m_lineUrl;
    std::uint32_t m_maxBlockSize = quorvane::tftp::DefaultMaxBlockSize;
    std::unique_ptr<CQuorvaneDlg> m_window;
};
