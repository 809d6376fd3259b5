#include "core/workflow/Selection.h"

#include "core/log/StationLog.h"
#include "core/personalise/MacAddress.h"
#include "core/personalise/PackageSources.h"
#include "core/settings/SettingsRecord.h"
#include "core/workflow/StationState.h"

namespace quorvane {

Selection SelectionOf(const StationState& s, SelectionCheck check) {
    Selection sel;
    const struct {
        bool chosen;
        std::uint8_t bit;
        bool hasSource;
        MissingPiece missing;
    } pieces[] = {
        {s.m_bUpdateMAC, kSelectMac, check != SelectionCheck::Burn || !s.m_strMac.isEmpty(),
         MissingPiece::Serial},
        {s.m_bUpdateUboot, kSelectBootLoader, !s.m_strUbootPath.isEmpty(),
         MissingPiece::BootLoader},
        {s.m_bRestoreCfg, kSelectConfig, !s.m_strCfgPath.isEmpty(), MissingPiece::Config},
        {s.m_bUpdateRoot, kSelectRoot, !s.m_strRootPath.isEmpty(), MissingPiece::Root},
    };
    for (const auto& piece : pieces) {
        if (!piece.chosen)
            continue;
        sel.flags |= piece.bit;
        if (check != SelectionCheck::None && !piece.hasSource) {
            sel.missing = piece.missing;
            return sel;
        }
    }
    if (check != SelectionCheck::None && sel.flags == 0)
        sel.missing = MissingPiece::Nothing;
    return sel;
}

QString MissingPieceText(MissingPiece missing, SelectionCheck check) {
    switch (missing) {
    case MissingPiece::Serial:
        return QStringLiteral("MAC地址为空");
    case MissingPiece::BootLoader:
        return QStringLiteral("UBOOT为空");
    case MissingPiece::Config:
        return QStringLiteral("恢复出厂设置配置文件为空");
    case MissingPiece::Root:
        return QStringLiteral("root_Uimage为空");
    default:
        return check == SelectionCheck::Burn ? QStringLiteral("你好懒什么都不选")
                                             : QStringLiteral("选项不能为空");
    }
}

SettingsRecord BurnSettings(const StationState& s, std::uint8_t flags) {
    SettingsRecord record;
    // A label text gives the label's own triple, not the vendor digits.
    if (flags & kSelectMac)
        record.setTriple(TripleFromMacField(s.m_strMac, s.m_nModel));
    if (flags & kSelectBootLoader)
        record.setBootLoaderPath(s.m_strUbootPath);
    if (flags & kSelectConfig)
        record.setConfigPath(s.m_strCfgPath);
    if (flags & kSelectRoot)
        record.setRootPath(s.m_strRootPath);
    record.setFlags(flags);
    return record;
}

void WriteSettingsFile(StationLog& log, const QString& programDir, const SettingsRecord& record) {
    const QString path = programDir + QStringLiteral("sysfile");
    // The burn goes on without it, but the operator must know the record is old.
    if (!record.Write(path))
        log.WriteLog(QStringLiteral("%1写入失败").arg(path));
}

} // namespace quorvane
