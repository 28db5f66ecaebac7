#include "platform/x11/x11text.h"

#include <algorithm>
#include <cstring>

namespace zef {
namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kCsi = 0x9B;
constexpr std::string_view kUtf8End = "\x1b%@";

// Appends text of a set this decoder does not know: one U+FFFD stands for
// the whole run, so a crafted value cannot grow into a line of them.
class CDecoded {
 public:
  explicit CDecoded(std::size_t reserve) { m_str.reserve(qsizetype(reserve)); }
  void Known(QChar c) {
    m_str.append(c);
    m_bInUnknown = false;
  }
  void Known(const QString& text) {
    m_str.append(text);
    if (!text.isEmpty()) m_bInUnknown = false;
  }
  void Unknown() {
    if (!m_bInUnknown) m_str.append(QChar::ReplacementCharacter);
    m_bInUnknown = true;
  }
  QString Take() { return std::move(m_str); }

 private:
  QString m_str;
  bool m_bInUnknown = false;
};

}  // namespace

QString DecodeCompoundText(std::string_view bytes) {
  CDecoded out(bytes.size());
  bool asciiInGl = true;
  bool latin1InGr = true;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b == kEsc) {
      // ESC, intermediate bytes 0x20..0x2F, one final byte 0x30..0x7E.
      std::size_t end = i + 1;
      while (end < bytes.size() && bytes[end] >= 0x20 && bytes[end] <= 0x2F) ++end;
      if (end >= bytes.size() || bytes[end] < 0x30 || bytes[end] > 0x7E) break;  // cut short: nothing more to read
      const std::string_view intermediates = bytes.substr(i + 1, end - i - 1);
      const char final = bytes[end];
      i = end + 1;
      if (intermediates == "(") {
        asciiInGl = final == 'B';
      } else if (intermediates == "-" || intermediates == ")") {
        latin1InGr = intermediates == "-" && final == 'A';
      } else if (intermediates == "$(" || intermediates == "$") {
        asciiInGl = false;
      } else if (intermediates == "$)") {
        latin1InGr = false;
      } else if (intermediates == "%" && final == 'G') {
        const std::size_t stop = bytes.find(kUtf8End, i);
        const std::size_t length = (stop == std::string_view::npos ? bytes.size() : stop) - i;
        out.Known(QString::fromUtf8(bytes.data() + i, qsizetype(length)));
        i = stop == std::string_view::npos ? bytes.size() : stop + kUtf8End.size();
      } else if (intermediates == "%/") {
        // An extended segment: two length bytes M L with their high bit set,
        // then (M - 128) * 128 + (L - 128) bytes of an encoding named inside.
        if (i + 2 > bytes.size()) break;
        const std::size_t length = std::size_t((static_cast<unsigned char>(bytes[i]) & 0x7F) * 128 +
                                               (static_cast<unsigned char>(bytes[i + 1]) & 0x7F));
        i = std::min(bytes.size(), i + 2 + length);
        out.Unknown();
      }
      // Any other sequence (a return from UTF-8 outside it, a revision) is
      // left out.
      continue;
    }
    ++i;
    if (b == kCsi) {
      // A direction change: parameters 0x30..0x3F, intermediates 0x20..0x2F,
      // a final 0x40..0x7E.
      while (i < bytes.size() && bytes[i] >= 0x20 && bytes[i] <= 0x3F) ++i;
      if (i < bytes.size() && bytes[i] >= 0x40 && bytes[i] <= 0x7E) ++i;
      continue;
    }
    if (b < 0x20 || b == 0x7F || (b >= 0x80 && b < 0xA0)) {
      out.Known(QChar(char16_t(b)));  // a control: left for ShownText to show
    } else if (b < 0x80 ? asciiInGl || b == 0x20 : latin1InGr) {
      out.Known(QChar(char16_t(b)));
    } else {
      out.Unknown();
    }
  }
  return out.Take();
}

std::optional<SClassPart> FindClassPart(std::string_view bytes) {
  const std::size_t instanceEnd = bytes.find('\0');
  if (instanceEnd == std::string_view::npos) return std::nullopt;
  SClassPart part;
  part.nBegin = instanceEnd + 1;
  const std::size_t classEnd = bytes.find('\0', part.nBegin);
  part.bEnds = classEnd != std::string_view::npos;
  part.nEnd = part.bEnds ? classEnd : bytes.size();
  return part;
}

std::optional<std::string_view> ClassFromTail(std::string_view tail) {
  // The final zero is optional: some clients leave it out.
  if (!tail.empty() && tail.back() == '\0') tail.remove_suffix(1);
  const std::size_t instanceEnd = tail.rfind('\0');
  if (instanceEnd == std::string_view::npos) return std::nullopt;
  return tail.substr(instanceEnd + 1);
}

}  // namespace zef
