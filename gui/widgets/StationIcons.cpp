#include "gui/widgets/StationIcons.h"

namespace quorvane {

QString IconPath(int id) {
    switch (id) {
    case 128:
        return QStringLiteral(":/quorvane/icons/128.png");
    case 129:
        return QStringLiteral(":/quorvane/icons/129.png");
    default:
        return {};
    }
}

QIcon StationIcon(int id) {
    const QString path = IconPath(id);
    return path.isEmpty() ? QIcon() : QIcon(path);
}

} // namespace quorvane
