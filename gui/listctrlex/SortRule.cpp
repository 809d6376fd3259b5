#include "gui/listctrlex/SortRule.h"

#include "core/log/GbkText.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace ListCtrlEx {

bool IsNumberText(const QString& text) {
    int dots = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'-' && i == 0)
            continue;
        if (c == u'.') {
            if (++dots > 1)
                return false;
            continue;
        }
        if (c < u'0' || c > u'9')
            return false;
    }
    return true;
}

qint64 NumberTextValue(const QString& text) {
    qsizetype i = 0;
    const bool negative = text.startsWith(u'-');
    if (negative)
        i = 1;
    constexpr qint64 limit = std::numeric_limits<qint64>::max() / 10 - 9;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < u'0' || c > u'9')
            break;
        if (value < limit)
            value = value * 10 + (c.unicode() - u'0');
    }
    return negative ? -value : value;
}

QByteArray TextSortKey(const QString& text) {
    return quorvane::ToGbk(text);
}

static int Sign(qint64 v) {
    return v < 0 ? -1 : (v > 0 ? 1 : 0);
}

// Byte order of the code page: lead bytes lie above every single-byte
// character, so comparing bytes orders whole characters.
static int CompareBytes(const QByteArray& a, const QByteArray& b) {
    const int c = std::memcmp(a.constData(), b.constData(), size_t(std::min(a.size(), b.size())));
    return c != 0 ? Sign(c) : Sign(a.size() - b.size());
}

int CompareCellTexts(const QString& a, const QByteArray& keyA, const QString& b,
                     const QByteArray& keyB, int rule, bool ascending) {
    const int result = rule == SortNumeric && IsNumberText(a) && IsNumberText(b)
                           ? Sign(NumberTextValue(a) - NumberTextValue(b))
                           : CompareBytes(keyA, keyB);
    return ascending ? result : -result;
}

int CompareCellTexts(const QString& a, const QString& b, int rule, bool ascending) {
    return CompareCellTexts(a, TextSortKey(a), b, TextSortKey(b), rule, ascending);
}

} // namespace ListCtrlEx
