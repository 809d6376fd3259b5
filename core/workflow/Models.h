#pragma once

#include <QString>

#include <array>
#include <optional>

namespace quorvane {

struct RouterModel {
    int command; // menu command id
    const char* menuText;
    int code; // role digit of the model MAC
};

// Menu order of "路由器型号".
inline constexpr std::array<RouterModel, 8> kRouterModels{{
    {32770, "Alder+", 0},
    {32771, "Birch(Larch)", 1},
    {32772, "Cedar", 2},
    {32775, "Dogwood(Spruce)", 5},
    {32779, "Elm", 9},
    {32780, "Hornbeam", 10},
    {32783, "Juniper", 12},
    {32784, "Maple", 13},
}};

inline constexpr int kDefaultModel = 5;

std::optional<int> ModelCodeForCommand(int command);
bool IsModelCode(int code);
// The model's menu text, empty for an unknown code.
QString ModelName(int code);
// The window title for a model and wireless-key mode; empty where none is defined.
QString TitleFor(int model, bool hasWpaKey);

} // namespace quorvane
