#pragma once

#include <QFont>
#include <QLineEdit>

// The scan field: a bar-code scanner types a label into it and ends with Enter.
// Focusing it selects everything so that the next scan replaces the last one.
class CSearchEdit : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int kDefaultControlId = 1012;

    // Takes over an existing field: keeps whatever font its owner gave it.
    explicit CSearchEdit(QWidget* parent = nullptr);

    // Creates a field of its own, in the class's font and showing the cue text.
    static CSearchEdit* create(QWidget* parent, int controlId = kDefaultControlId);

    void SetCueText(const QString& cue) { m_strCue = cue; }
    QString CueText() const { return m_strCue; }
    bool IsCueShown() const { return m_bCueShown; }

    void setControlId(int id) { m_nControlId = id; }
    int controlId() const { return m_nControlId; }

    static QFont ClassFont();

signals:
    // The Enter key was released in the field.
    void scanEntered(int controlId);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    bool m_bCueShown = true;
    QString m_strCue;
    bool m_bSelectAllPending = false;
    int m_nControlId = kDefaultControlId;
};
