// Bounds on texts the system hands over (window titles, file names).
#pragma once

#include <QString>

namespace zef {

// `text` cut to at most `maxUnits` UTF-16 units, never in the middle of a
// surrogate pair (whose first half is then dropped as well).
QString CutToUnits(const QString& text, qsizetype maxUnits);

}  // namespace zef
