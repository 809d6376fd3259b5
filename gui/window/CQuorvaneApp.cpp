#include "gui/window/CQuorvaneApp.h"

#include "core/record/LineRecord.h"
#include "core/workflow/Station.h"
#include "gui/window/CQuorvaneDlg.h"

#include <QApplication>

CQuorvaneApp::CQuorvaneApp(const QString& instanceName, const QString& programDir,
                           std::uint16_t port, QObject* parent)
    : QObject(parent), m_instance(instanceName), m_programDir(programDir), m_port(port) {}

CQuorvaneApp::~CQuorvaneApp() = default;

bool CQuorvaneApp::InitInstance() {
    if (m_window)
        return true;
    if (!m_instance.TryBecomePrimary())
        return false;
    m_window = std::make_unique<CQuorvaneDlg>(m_programDir, m_port);
    m_window->station().state().maxBlockSize = m_maxBlockSize;
    if (!m_lineUrl.isEmpty())
        m_window->record().setLineLink(std::make_unique<quorvane::record::LineRecord>(
            m_lineUrl, m_window->station().state().m_strExeDir));
    // Asked by a second start: whatever the title says by now.
    connect(&m_instance, &quorvane::SingleInstance::activationRequested, m_window.get(),
            [this] { quorvane::SingleInstance::BringToFront(m_window.get()); });
    connect(m_window.get(), &QDialog::finished, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
    m_window->show();
    return true;
}

int CQuorvaneApp::Run() {
    if (!InitInstance())
        return 0;
    QApplication::exec();
    m_window.reset();
    return 0;
}
