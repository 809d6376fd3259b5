#include "PackArguments.h"

#include "core/personalise/PackageSources.h"

#include <QDir>

std::optional<std::uint8_t> ParseFlags(const QString& text) {
    bool ok = false;
    const bool hex = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
    const uint value = hex ? text.mid(2).toUInt(&ok, 16) : text.toUInt(&ok, 10);
    if (!ok || value > 0xFF)
        return std::nullopt;
    return static_cast<std::uint8_t>(value);
}

std::optional<int> ParseModel(const QString& text) {
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    if (!ok || value > 15)
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<bool> ParseOnOff(const QString& text) {
    if (text == QLatin1String("on"))
        return true;
    if (text == QLatin1String("off"))
        return false;
    return std::nullopt;
}

bool IsMacText(const QString& text) {
    if (text.size() != 12)
        return false;
    for (QChar c : text) {
        if (!isxdigit(c.toLatin1()))
            return false;
    }
    return true;
}

std::uint8_t DefaultFlags(bool bootLoader, bool config, bool root) {
    std::uint8_t flags = quorvane::kSelectMac;
    if (bootLoader)
        flags |= quorvane::kSelectBootLoader;
    if (config)
        flags |= quorvane::kSelectConfig;
    if (root)
        flags |= quorvane::kSelectRoot;
    return flags;
}

QString ProgramDir(const QString& outDir) {
    QString dir = QDir::fromNativeSeparators(outDir);
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}
