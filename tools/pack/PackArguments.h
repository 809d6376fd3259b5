#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// Parsers for the option values of quorvane-pack; nothing on a bad value.
std::optional<std::uint8_t> ParseFlags(const QString& text); // decimal or 0x-hex, 0..255
std::optional<int> ParseModel(const QString& text);          // 0..15
std::optional<bool> ParseOnOff(const QString& text);         // "on" / "off"
bool IsMacText(const QString& text);                         // 12 hex digits

// Without --flags: MAC, plus one bit for each source file given.
std::uint8_t DefaultFlags(bool bootLoader, bool config, bool root);

// The folder as the program folder the station names its files in.
QString ProgramDir(const QString& outDir);
