#include "platform/system/textunits.h"

namespace zef {

QString CutToUnits(const QString& text, qsizetype maxUnits) {
  if (maxUnits <= 0) return {};
  if (text.size() <= maxUnits) return text;
  qsizetype units = maxUnits;
  if (text.at(units - 1).isHighSurrogate()) --units;
  return text.left(units);
}

namespace {

bool Obeyed(char32_t c) {
  if (c == U'\t') return false;
  if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) return true;
  switch (QChar::category(c)) {
    case QChar::Other_Format:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
      return true;
    default:
      return false;
  }
}

}  // namespace

QString ShownText(QStringView text) {
  QString shown;
  shown.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      const QChar low = text[++i];
      if (Obeyed(QChar::surrogateToUcs4(c, low))) {
        shown.append(QChar::ReplacementCharacter);
      } else {
        shown.append(c);
        shown.append(low);
      }
    } else {
      shown.append(c.isSurrogate() || Obeyed(c.unicode()) ? QChar(QChar::ReplacementCharacter) : c);
    }
  }
  return shown;
}

QString ShownLabel(QStringView text) { return ShownText(text).replace(u'\t', QChar::ReplacementCharacter); }

}  // namespace zef
