#pragma once

#include <QString>

#include <cstdint>

namespace quorvane {

class SettingsRecord;
class StationLog;
struct StationState;

// Which piece stopped a selection: the first one chosen without its source.
enum class MissingPiece { None, Serial, BootLoader, Config, Root, Nothing };

struct Selection {
    std::uint8_t flags = 0; // the bits of the options, up to the piece that stopped it
    MissingPiece missing = MissingPiece::None;
};

enum class SelectionCheck {
    None,    // every chosen option's bit (a package request)
    Sources, // stop at the first chosen piece without its path (Start)
    Burn,    // the same, and MAC writing needs the serial text (burning)
};

// The options as selection bits, in the order MAC, boot loader,
// configuration, root image; a check stops at the first piece chosen
// without its source, its bit already set.
Selection SelectionOf(const StationState& s, SelectionCheck check);

// What the operator is told when the check stopped at `missing`: Start
// (Sources) and burning (Burn) word "nothing chosen" each their own way.
QString MissingPieceText(MissingPiece missing, SelectionCheck check);

// The settings record of a burn: the selection, the triple when MACs are
// written, the chosen pieces' paths.
SettingsRecord BurnSettings(const StationState& s, std::uint8_t flags);

// "sysfile" in the station folder; a write that fails is logged, and the
// station goes on without it.
void WriteSettingsFile(StationLog& log, const QString& programDir, const SettingsRecord& record);

} // namespace quorvane
