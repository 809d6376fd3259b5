#pragma once

#include <QDialog>

class QPushButton;

// The About box reached from the main window's menu.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QPushButton* okButton() const { return m_ok; }

private:
    QPushButton* m_ok = nullptr;
};
