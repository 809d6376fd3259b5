#include "gui/window/FilePickers.h"

#include <QDir>
#include <QFileDialog>

#include <array>

namespace quorvane::window {

namespace {
constexpr std::array<PickerTemplate, 3> kPickers{{
    {1008, 1005, "UBoot(*.bin);;All File(*.*)"},
    {1009, 1006, "bin(*.bin);;All File(*.*)"},
    {1010, 1007, "Default cfg(*.cfg);;All File(*.*)"},
}};
} // namespace

const PickerTemplate* PickerFor(int button) {
    for (const PickerTemplate& p : kPickers) {
        if (p.button == button)
            return &p;
    }
    return nullptr;
}

QString PickExistingFile(QWidget* owner, const QString& folder, const QString& filters) {
    const QString first = filters.section(QStringLiteral(";;"), 0, 0);
    QString selected = first;
    const QString path = QFileDialog::getOpenFileName(owner, QString(), folder, filters, &selected);
    return QDir::toNativeSeparators(path);
}

QString PickerStartFolder(const QString& programDir) {
    QString folder = programDir;
    while (folder.size() > 1 &&
           (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\'))))
        folder.chop(1);
    return folder;
}

} // namespace quorvane::window
