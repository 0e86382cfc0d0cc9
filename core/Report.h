#pragma once
#include "core/RunRecord.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace orv {

// What the reference computer scores in every row, category and overall.
inline constexpr std::int32_t kReferenceScore = 5000;

// The text made safe inside HTML, XHTML and SVG, in elements and in quoted attributes: & < > " ' as
// references, and the control characters XML forbids as U+FFFD.
QString EscapeMarkup(const QString& s);

// The run as CSV (UTF-8, CRLF, RFC 4180 quoting): one line per row, per category and the overall score.
// Text fields that a spreadsheet would take for a formula get a leading apostrophe.
QByteArray ReportCsv(const RunRecord& r);

// The run as one self-contained UTF-8 HTML page (XHTML-compatible, no outside resources): the computer,
// the conditions and their warnings, the categories and rows as bar charts against the reference
// computer, and the history of this computer's runs when it holds another run besides this one.
QByteArray ReportHtml(const RunRecord& r, const std::vector<RunRecord>& history);

} // namespace orv
