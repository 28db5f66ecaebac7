#include "platform/system/textunits.h"

namespace zef {

QString CutToUnits(const QString& text, qsizetype maxUnits) {
  if (maxUnits <= 0) return {};
  if (text.size() <= maxUnits) return text;
  qsizetype units = maxUnits;
  if (text.at(units - 1).isHighSurrogate()) --units;
  return text.left(units);
}

}  // namespace zef
