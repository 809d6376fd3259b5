#include "core/workflow/Models.h"

namespace quorvane {

std::optional<int> ModelCodeForCommand(int command) {
    for (const RouterModel& model : kRouterModels) {
        if (model.command == command)
            return model.code;
    }
    return std::nullopt;
}

bool IsModelCode(int code) {
    for (const RouterModel& model : kRouterModels) {
        if (model.code == code)
            return true;
    }
    return false;
}

QString TitleFor(int model, bool hasWpaKey) {
    struct TitleRow {
        int code;
        const char* withKey;
        const char* open;
    };
    static constexpr TitleRow kTitles[] = {
        {0, "Quorvane Alder,WIFI密码为MAC地址后8位", "Quorvane Alder,WIFI不加密"},
        {1, "Quorvane Birch,WIFI密码为MAC地址后8位", "Quorvane Birch,WIFI不加密"},
        {2, "Quorvane Cedar,WIFI密码为MAC地址后8位", "Quorvane Cedar,WIFI不加密"},
        {5, "Quorvane Dogwood,WIFI密码为MAC地址后8位", "Quorvane Dogwood,WIFI不加密"},
        {9, "Quorvane Elm,WIFI密码为MAC地址后8位", "Quorvane Elm,WIFI不加密"},
        {10, nullptr, "Quorvane Hornbeam,WIFI不加密"},
    };
    for (const TitleRow& row : kTitles) {
        if (row.code != model)
            continue;
        const char* text = hasWpaKey ? row.withKey : row.open;
        return text ? QString::fromUtf8(text) : QString();
    }
    return {};
}

QString ModelName(int code) {
    for (const RouterModel& model : kRouterModels) {
        if (model.code == code)
            return QString::fromUtf8(model.menuText);
    }
    return {};
}

} // namespace quorvane
