#pragma once

#include <QDialog>
#include <QPoint>
#include <QPointer>
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

    // The frame's bottom-right corner goes 5 pixels in from that of the main
    // window's frame, measured when this window is next shown (at once if it
    // is shown): under a window manager a frame is known only once its window
    // is on screen.
    void PlaceBy(const QWidget* mainWindow);
    static QPoint PlacementFor(const QRect& mainFrameGeometry, const QSize& logFrameSize);

    void setVisible(bool visible) override;

    // Shows the window, or only brings it forward when it is already shown.
    void ShowOrActivate();

    QPlainTextEdit* editor() const { return m_edit; }
    // The lines the window holds (the empty line after the last break counts).
    int LineCount() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void AppendOnOwnThread(const QString& line);
    void Place();

    QPlainTextEdit* m_edit = nullptr;
    bool m_clearPending = false;
    QPointer<const QWidget> m_placeBy;
};
