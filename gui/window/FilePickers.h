#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace quorvane::window {

struct PickerTemplate {
    int button;          // 1008, 1009, 1010
    int targetEdit;      // 1005, 1006, 1007
    const char* filters; // name filters, the first one selected
};

// The picker of a browse button, or nullptr.
const PickerTemplate* PickerFor(int button);

// Asks for an existing file; returns its path, or an empty text on cancel.
using FilePicker =
    std::function<QString(QWidget* owner, const QString& folder, const QString& filters)>;

// The platform's file-open dialog.
QString PickExistingFile(QWidget* owner, const QString& folder, const QString& filters);

// The filters as Qt's file dialog takes them: each keeps its text, and the
// "All File(*.*)" entry lists every file, also names without a dot.
QString DialogFilters(const QString& filters);

// The pickers start in the program folder, given without its trailing separator.
QString PickerStartFolder(const QString& programDir);

} // namespace quorvane::window
