// Bounds on texts the system hands over (window titles, file names), and
// how text that other people chose is shown.
#pragma once

#include <QString>

namespace zef {

// `text` cut to at most `maxUnits` UTF-16 units, never in the middle of a
// surrogate pair (whose first half is then dropped as well).
QString CutToUnits(const QString& text, qsizetype maxUnits);

// `text` with every character that would act instead of being seen replaced
// by U+FFFD: C0 and C1 controls but the tab, DEL, the invisible format
// characters (bidi embeddings, overrides and isolates, U+200B..U+200F,
// U+061C, U+FEFF, ...: the Unicode category Cf) and the line and paragraph
// separators. For texts that another program chose (window titles, process
// and program names, what a client tells of itself) before they stand in a
// line of the monitor's own: they can then neither reorder nor hide what
// follows them. An unpaired surrogate becomes U+FFFD as well.
QString ShownText(QStringView text);

// ShownText with a tab made U+FFFD too: for a name shown in a column beside
// others (a sender's label), where a tab would pass for the column's edge.
QString ShownLabel(QStringView text);

}  // namespace zef
