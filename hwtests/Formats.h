#pragma once
#include <QString>

namespace orv {

// Fixed two-decimal numbers with the user's decimal separator and no thousands separator.
// "####.00": no digit before the separator when the integer part is 0 (0.5 → ".50").
QString FormatHashDot00(double value);
// "###0.00": at least one digit before the separator (0.5 → "0.50").
QString FormatHash0Dot00(double value);

} // namespace orv
