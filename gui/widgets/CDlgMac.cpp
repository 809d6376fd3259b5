#include "gui/widgets/CDlgMac.h"

#include "core/personalise/MacAddress.h"
#include "gui/widgets/StationFonts.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

CDlgMac::CDlgMac(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Dialog"));
    // Large enough to read at the line from a step away.
    setFont(quorvane::SansSerifFont(24));

    auto* label = new QLabel(QStringLiteral("MAC:"), this);
    m_edit = new QLineEdit(this);
    m_edit->setMaxLength(12);
    m_edit->setMinimumWidth(m_edit->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 13);
    label->setBuddy(m_edit);

    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    // A scanner's trailing Enter must never end the dialog: no default button.
    for (QPushButton* button : {m_ok, m_cancel}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    auto* entryRow = new QHBoxLayout;
    entryRow->addWidget(label);
    entryRow->addWidget(m_edit, 1);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_ok);
    buttonRow->addWidget(m_cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(entryRow);
    layout->addLayout(buttonRow);

    // OK is deliberately inert: only the acceptance rule ends the dialog with OK.
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_edit, &QLineEdit::textChanged, this, &CDlgMac::CheckText);
    m_edit->setFocus();
}

QMessageBox* CDlgMac::warning() const {
    return m_warning.data();
}

void CDlgMac::CheckText(const QString& text) {
    const quorvane::ScanVerdict verdict = quorvane::CheckScanText(text);
    switch (verdict) {
    case quorvane::ScanVerdict::Incomplete:
        return;
    case quorvane::ScanVerdict::Accepted:
        m_strMac = text;
        accept();
        return;
    case quorvane::ScanVerdict::BadCharacter:
    case quorvane::ScanVerdict::BadRoleDigit:
        ShowWarning(quorvane::ScanVerdictMessage(verdict));
        return;
    }
}

void CDlgMac::ShowWarning(const QString& message) {
    if (m_warning) {
        m_warning->setText(message);
    } else {
        m_warning = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Quorvane"), message,
                                    QMessageBox::Ok, this);
        m_warning->setAttribute(Qt::WA_DeleteOnClose);
        // Window-modal and non-blocking: the station's loop must keep running.
        m_warning->open();
    }
    emit warningShown(message);
}

void CDlgMac::done(int result) {
    // A warning left behind would outlive the question it belongs to.
    if (m_warning) {
        m_warning->close();
    }
    QDialog::done(result);
}

void CDlgMac::cancelSilently() {
    const QSignalBlocker blocker(this);
    done(QDialog::Rejected);
}

void CDlgMac::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event); // Escape rejects
    }
}
