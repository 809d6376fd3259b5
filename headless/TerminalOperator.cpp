#include "headless/TerminalOperator.h"

#include "core/personalise/MacAddress.h"
#include "headless/ConsoleInput.h"

#include <QTimer>

#include <cstdio>

namespace quorvane {

namespace {

void PrintError(const QString& text) {
    std::fputs(text.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

} // namespace

TerminalOperator::TerminalOperator(MacAnswer onAnswer, Acknowledge onAcknowledge,
                                   ReburnAnswer onReburn, QObject* parent)
    : QObject(parent), m_input(new ConsoleInput(this)), m_onAnswer(std::move(onAnswer)),
      m_onAcknowledge(std::move(onAcknowledge)), m_onReburn(std::move(onReburn)) {
    connect(m_input, &ConsoleInput::received, this, &TerminalOperator::readInput);
    connect(m_input, &ConsoleInput::ended, this, &TerminalOperator::inputEnded);
}

void TerminalOperator::AskForMac(std::uint64_t id) {
    m_ask = id;
    PrintError(QStringLiteral("找到一个新设备，请扫描MAC码"));
    if (m_atEnd)
        QTimer::singleShot(0, this, [this] { answer(std::nullopt); });
}

void TerminalOperator::CancelMacRequest(std::uint64_t id) {
    if (m_ask == id)
        m_ask.reset();
}

void TerminalOperator::AskReburn(std::uint64_t id, const QString& text) {
    m_reburn = id;
    PrintError(text + QStringLiteral(" (y/n)"));
    if (m_atEnd)
        QTimer::singleShot(0, this, [this] { answerReburn(false); });
}

void TerminalOperator::CancelReburn(std::uint64_t id) {
    if (m_reburn == id)
        m_reburn.reset();
}

void TerminalOperator::answerReburn(bool yes) {
    if (!m_reburn)
        return;
    const std::uint64_t id = *m_reburn;
    m_reburn.reset();
    m_onReburn(id, yes);
}

void TerminalOperator::ShowMessage(std::uint64_t id, const QString& text) {
    PrintError(text);
    // Nobody clicks OK at a terminal: the message counts as read once printed.
    QTimer::singleShot(0, this, [this, id] { m_onAcknowledge(id); });
}

void TerminalOperator::ShowNotice(const QString& text) {
    PrintError(text);
}

void TerminalOperator::PlaySound(int) {
    std::fputc('\a', stderr);
    std::fflush(stderr);
}

void TerminalOperator::SetTitle(const QString& title) {
    if (!title.isEmpty())
        PrintError(title);
}

void TerminalOperator::inputEnded() {
    m_atEnd = true;
    if (!m_pending.isEmpty())
        handleLine(QString::fromUtf8(std::exchange(m_pending, {})));
    answerReburn(false);
    answer(std::nullopt);
}

void TerminalOperator::readInput(const QByteArray& utf8) {
    m_pending.append(utf8);
    qsizetype end = 0;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        handleLine(QString::fromUtf8(line));
    }
}

void TerminalOperator::handleLine(const QString& raw) {
    const QString line = raw.trimmed();
    if (m_reburn) {
        if (line.compare(QLatin1String("y"), Qt::CaseInsensitive) == 0)
            answerReburn(true);
        else if (line.isEmpty() || line.compare(QLatin1String("n"), Qt::CaseInsensitive) == 0)
            answerReburn(false);
        else
            PrintError(QStringLiteral("请输入 y 或 n"));
        return;
    }
    if (!m_ask) {
        if (!line.isEmpty())
            PrintError(QStringLiteral("没有设备在等待扫描，已忽略：%1").arg(line));
        return;
    }
    if (line.isEmpty()) {
        answer(std::nullopt);
        return;
    }
    // The scan dialog's field holds 12 characters and judges them as the
    // twelfth arrives.
    const QString text = line.left(12);
    const ScanVerdict verdict = CheckScanText(text);
    if (verdict == ScanVerdict::Accepted)
        answer(text);
    else if (verdict != ScanVerdict::Incomplete)
        PrintError(ScanVerdictMessage(verdict));
}

void TerminalOperator::answer(const std::optional<QString>& label) {
    if (!m_ask)
        return;
    const std::uint64_t id = *m_ask;
    m_ask.reset();
    m_onAnswer(id, label);
}

} // namespace quorvane
