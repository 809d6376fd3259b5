#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The About box reached from the main window's menu.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // stationFolder: the folder the station serves, shown under the version.
    explicit CAboutDlg(QWidget* parent = nullptr, const QString& stationFolder = {});

    QPushButton* okButton() const { return m_ok; }

private:
    QPushButton* m_ok = nullptr;
    QLabel* m_folder = nullptr; // hidden when no folder is given
};
