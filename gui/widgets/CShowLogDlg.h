#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QSize>

class QPlainTextEdit;

// The programmer's log window: a modeless window with its own task-bar entry
// that mirrors the log lines of the current run and empties itself after
// 2000 lines.
class CShowLogDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 2000;

    // Not a child of its owner (an owned window has no task-bar entry of its
    // own), but it goes when the owner goes.
    explicit CShowLogDlg(QWidget* owner = nullptr);

    // Safe to call from any thread; lines from elsewhere are carried over to
    // this window's thread in order.
    void AppendLine(const QString& line);

    // Bottom-right corner 5 pixels in from the main window's bottom-right corner.
    void PlaceAt(const QRect& mainFrameGeometry);
    static QPoint PlacementFor(const QRect& mainFrameGeometry, const QSize& logFrameSize);

    // Shows the window, or only brings it forward when it is already shown.
    void ShowOrActivate();

    QPlainTextEdit* editor() const { return m_edit; }
    // The lines the window holds (the empty line after the last break counts).
    int LineCount() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void AppendOnOwnThread(const QString& line);

    QPlainTextEdit* m_edit = nullptr;
    bool m_clearPending = false;
    // The frame is only known once the window exists: placed again when first shown.
    QRect m_placeAgainst;
};
