#include "hwtests/Formats.h"

#include <QLocale>
#include <QRegularExpression>

#include <cmath>

namespace orv {

namespace {
QString Fixed2(double value, bool leadingZero) {
    if (!std::isfinite(value))
        return QStringLiteral("?");
    QString s = QString::number(value, 'f', 2);
    const bool negative = s.startsWith(QLatin1Char('-'));
    if (negative)
        s.remove(0, 1);
    if (!leadingZero && s.startsWith(QLatin1String("0.")))
        s.remove(0, 1);
    // "-0.00" is shown as the pattern shows zero.
    if (negative && s.contains(QRegularExpression(QStringLiteral("[1-9]"))))
        s.prepend(QLatin1Char('-'));
    return s.replace(QLatin1Char('.'), QLocale().decimalPoint());
}
} // namespace

QString FormatHashDot00(double value) {
    return Fixed2(value, false);
}
QString FormatHash0Dot00(double value) {
    return Fixed2(value, true);
}

} // namespace orv
