#pragma once

#include <QByteArray>
#include <QString>

namespace ListCtrlEx {

enum SortRule { SortText = 0, SortNumeric = 1 };

// Digits with at most one '.', optionally led by '-'; the empty text counts.
bool IsNumberText(const QString& text);
// Decimal value of the leading "-digits", stopping at the first other
// character; saturates instead of overflowing.
qint64 NumberTextValue(const QString& text);

// The bytes a cell text is compared by: its GBK form, so that Chinese texts
// order as the station's code page orders them.
QByteArray TextSortKey(const QString& text);

// Negative, zero or positive as a sorts before, with or after b.
int CompareCellTexts(const QString& a, const QString& b, int rule, bool ascending);
// The same with the GBK keys computed once per row.
int CompareCellTexts(const QString& a, const QByteArray& keyA, const QString& b,
                     const QByteArray& keyB, int rule, bool ascending);

} // namespace ListCtrlEx
