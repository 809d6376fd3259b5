#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QWidget;

namespace quorvane {

// One station per PC: the first start listens on a local socket, a later start
// asks it to come to the front and then ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    static inline const QString kDefaultName = QStringLiteral("Quorvne");

    explicit SingleInstance(const QString& name = kDefaultName, QObject* parent = nullptr);

    // True when this process is the station that runs (listening from now on);
    // false when another one answered and was asked to come forward.
    bool TryBecomePrimary();

    bool IsListening() const;

    // Restored, maximised, raised and activated, whatever its title is now.
    static void BringToFront(QWidget* window);

signals:
    void activationRequested();

private:
    bool AskPrimaryToActivate();
    void AcceptConnections();

    QString m_name;
    QLocalServer* m_server = nullptr;
};

} // namespace quorvane
