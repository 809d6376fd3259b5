#pragma once

#include "core/workflow/OperatorInterface.h"

#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <functional>
#include <optional>

namespace quorvane {

class ConsoleInput;

// The operator at a terminal: a bar-code scanner types into standard input,
// messages go to standard error, sounds are the terminal bell.
class TerminalOperator : public QObject, public OperatorInterface {
    Q_OBJECT
public:
    using MacAnswer = std::function<void(std::uint64_t, const std::optional<QString>&)>;
    using Acknowledge = std::function<void(std::uint64_t)>;
    using ReburnAnswer = std::function<void(std::uint64_t, bool)>;

    TerminalOperator(MacAnswer onAnswer, Acknowledge onAcknowledge, ReburnAnswer onReburn,
                     QObject* parent = nullptr);

    void AskForMac(std::uint64_t id) override;
    void CancelMacRequest(std::uint64_t id) override;
    // A y/n line answers; an empty line or the end of input is no.
    void AskReburn(std::uint64_t id, const QString& text) override;
    void CancelReburn(std::uint64_t id) override;
    void ShowMessage(std::uint64_t id, const QString& text) override;
    void ShowNotice(const QString& text) override;
    void PlaySound(int id) override;
    void SetTitle(const QString& title) override;
    void SetControlState(const ControlState&) override {}
    void SetSerialText(const QString&) override {}
    void SetScanText(const QString&) override {}

private:
    void readInput(const QByteArray& utf8);
    void inputEnded();
    void handleLine(const QString& line);
    void answer(const std::optional<QString>& label);
    void answerReburn(bool yes);

    ConsoleInput* m_input = nullptr;
    QByteArray m_pending;
    bool m_atEnd = false;
    std::optional<std::uint64_t> m_ask;
    std::optional<std::uint64_t> m_reburn;
    MacAnswer m_onAnswer;
    Acknowledge m_onAcknowledge;
    ReburnAnswer m_onReburn;
};

} // namespace quorvane
