#include "gui/window/FilePickers.h"

#include <QDir>
#include <QFileDialog>
#include <QRegularExpression>
#include <QStringList>

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

QString DialogFilters(const QString& filters) {
    static const QRegularExpression lastGroup(QStringLiteral("\\(([^()]*)\\)$"));
    QStringList out;
    for (const QString& filter : filters.split(QStringLiteral(";;"))) {
        const QRegularExpressionMatch m = lastGroup.match(filter);
        QString patterns = m.hasMatch() ? m.captured(1) : QStringLiteral("*");
        // "*.*" has always meant every file; taken literally it wants a dot.
        patterns.replace(QStringLiteral("*.*"), QStringLiteral("*"));
        // Shown is the text before the last parenthesis, filtered by what is in it.
        out << QStringLiteral("%1 (%2)").arg(filter, patterns);
    }
    return out.join(QStringLiteral(";;"));
}

QString PickExistingFile(QWidget* owner, const QString& folder, const QString& filters) {
    const QString dialogFilters = DialogFilters(filters);
    QString selected = dialogFilters.section(QStringLiteral(";;"), 0, 0);
    const QString path = QFileDialog::getOpenFileName(
        owner, QString(), folder, dialogFilters, &selected, QFileDialog::HideNameFilterDetails);
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
