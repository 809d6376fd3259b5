#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

class QLineEdit;
class QMessageBox;
class QPushButton;

// The scan dialog: the operator scans a board's label and the dialog closes by
// itself on twelve hex digits ending in 8. It never blocks (show() or open(),
// never exec()): the station's event loop keeps running; finished(int)
// carries the outcome.
class CDlgMac : public QDialog {
    Q_OBJECT
public:
    explicit CDlgMac(QWidget* parent = nullptr);

    // The accepted label text exactly as entered; empty unless accepted.
    QString text() const { return m_strMac; }

    // Ends the dialog (and any warning it shows) without emitting anything,
    // for when the request behind it no longer exists.
    void cancelSilently();

    void done(int result) override;

    QLineEdit* entry() const { return m_edit; }
    QPushButton* okButton() const { return m_ok; }
    QPushButton* cancelButton() const { return m_cancel; }
    // The warning currently shown, or nullptr.
    QMessageBox* warning() const;

signals:
    void warningShown(const QString& message);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CheckText(const QString& text);
    void ShowWarning(const QString& message);

    QString m_strMac;
    QLineEdit* m_edit = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QPointer<QMessageBox> m_warning;
};
