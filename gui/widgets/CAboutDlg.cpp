#include "gui/widgets/CAboutDlg.h"

#include "gui/widgets/DialogUnits.h"
#include "gui/widgets/StationFonts.h"
#include "gui/widgets/StationIcons.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

using quorvane::DluToPixels;

CAboutDlg::CAboutDlg(QWidget* parent, const QString& stationFolder) : QDialog(parent) {
    setWindowTitle(QStringLiteral("关于 Quorvane"));
    setFont(quorvane::SongTiPointFont(9));
    const QIcon icon = quorvane::StationIcon(128);
    setWindowIcon(icon);
    const quorvane::DialogBaseUnits base = quorvane::BaseUnitsOf(font());

    // Placed by dialog units like the rest of the station's small windows.
    auto* iconLabel = new QLabel(this);
    iconLabel->setPixmap(icon.pixmap(32, 32));
    iconLabel->setGeometry(QRect(DluToPixels(QPoint(11, 17), base), QSize(32, 32)));

    auto* version = new QLabel(QStringLiteral("Quorvane 5.0 版"), this);
    version->setGeometry(DluToPixels(QRect(40, 10, 119, 8), base));
    // A fallback face may be taller than the template's line.
    version->resize(version->width(), qMax(version->height(), version->sizeHint().height()));

    // Where "sysfile", the packages and the logs are: an installed station
    // keeps them in a folder of the user's own, not beside the program.
    m_folder = new QLabel(this);
    m_folder->setGeometry(DluToPixels(QRect(40, 24, 175, 50), base));
    m_folder->setWordWrap(true);
    m_folder->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_folder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_folder->setText(
        QStringLiteral("工作文件夹:\n%1").arg(QDir::toNativeSeparators(stationFolder)));
    m_folder->setVisible(!stationFolder.isEmpty());

    m_ok = new QPushButton(QStringLiteral("确定"), this);
    m_ok->setGeometry(DluToPixels(QRect(165, 7, 50, 14), base));
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);

    setFixedSize(DluToPixels(QSize(222, 78), base));
}
