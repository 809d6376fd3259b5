#include "gui/widgets/CShowLogDlg.h"

#include "gui/widgets/DialogUnits.h"
#include "gui/widgets/StationFonts.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>

CShowLogDlg::CShowLogDlg(QWidget* owner) : QDialog(nullptr) {
    if (owner != nullptr) {
        connect(owner, &QObject::destroyed, this, [this] { delete this; });
    }
    // Left open, it must not keep the station running once the main window closes.
    setAttribute(Qt::WA_QuitOnClose, false);
    // A top-level window of its own (not a tool window), so it gets a task-bar entry.
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("程序员日志"));
    setModal(false);
    setFont(quorvane::SansSerifFont(10));

    m_edit = new QPlainTextEdit(this);
    m_edit->setReadOnly(true);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_edit->setUndoRedoEnabled(false);
    m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit);

    resize(quorvane::DluToPixels(QSize(232, 100), quorvane::BaseUnitsOf(font())));
}

void CShowLogDlg::AppendLine(const QString& line) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, line] { AppendOnOwnThread(line); }, Qt::QueuedConnection);
        return;
    }
    AppendOnOwnThread(line);
}

void CShowLogDlg::AppendOnOwnThread(const QString& line) {
    if (m_clearPending) {
        m_edit->clear();
        m_clearPending = false;
    }
    QString text = line;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.append(QLatin1Char('\n'));

    // Appending at the end keeps the cost of a line independent of the window's content.
    QTextCursor cursor(m_edit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text);

    // The window still shows the full page until the next line replaces it.
    if (LineCount() > kMaxLines) {
        m_clearPending = true;
    }
    QScrollBar* bar = m_edit->verticalScrollBar();
    bar->setValue(bar->maximum());
}

int CShowLogDlg::LineCount() const {
    return m_edit->document()->blockCount();
}

QPoint CShowLogDlg::PlacementFor(const QRect& mainFrameGeometry, const QSize& logFrameSize) {
    const int mainRight = mainFrameGeometry.x() + mainFrameGeometry.width();
    const int mainBottom = mainFrameGeometry.y() + mainFrameGeometry.height();
    return {mainRight - logFrameSize.width() - 5, mainBottom - logFrameSize.height() - 5};
}

void CShowLogDlg::PlaceBy(const QWidget* mainWindow) {
    m_placeBy = mainWindow;
    if (isVisible())
        Place();
}

void CShowLogDlg::setVisible(bool visible) {
    // Placed before it is shown: a move before the window exists places its
    // frame, while a move of a shown window whose frame is not known yet
    // would place its client area there.
    if (visible && !isVisible())
        Place();
    QDialog::setVisible(visible);
}

void CShowLogDlg::Place() {
    const QWidget* main = m_placeBy;
    m_placeBy = nullptr;
    if (!main)
        return;
    // The platform window's frame is the fresh one: a widget learns of its
    // frame only when it is moved or resized.
    const auto frameOf = [](const QWidget* w) {
        const QWindow* window = w->windowHandle();
        return window ? window->frameGeometry() : w->frameGeometry();
    };
    const QRect mainFrame = frameOf(main);
    QSize frame = frameOf(this).size();
    if (frame == size()) {
        // Not on screen yet, so no frame known: the window manager frames it
        // as it framed the main window, the same kind of window.
        frame += mainFrame.size() - main->size();
    }
    move(PlacementFor(mainFrame, frame));
}

void CShowLogDlg::ShowOrActivate() {
    if (isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    if (!isVisible()) {
        show();
    }
    raise();
    activateWindow();
}

void CShowLogDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter closes the window just as Escape does; the text stays for the next showing.
        hide();
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
