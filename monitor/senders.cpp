#include "monitor/senders.h"

#include "platform/system/textunits.h"
#include "platform/window/peer.h"
#include "trace/events/traceevents.h"

#include <QStringList>

#include <algorithm>

namespace zef {
namespace {

QString Cut(QStringView text, int length) {
  if (text.size() <= length) return text.toString();
  return text.left(length - 1).toString() + QChar(0x2026);
}

// The label buffer grows by a quarter, not twice over as a vector would:
// it only ever grows between two Clears, by a few bytes a connection.
template <typename T>
void GrowFor(std::vector<T>& v, std::size_t more) {
  if (v.size() + more > v.capacity()) v.reserve(v.size() + more + v.size() / 4);
}

// Where the "?" label lies in the label buffer: it names keys not handed
// out and labels that no longer fit the buffer's 32-bit offsets.
constexpr std::uint32_t kUnnamedAt = 0;

void AppendLabel(std::vector<char>& labels, const QString& label) {
  const QByteArray utf8 = label.toUtf8();
  std::size_t length = std::size_t(utf8.size());
  GrowFor(labels, length + 5);
  do {
    labels.push_back(char((length & 0x7F) | (length > 0x7F ? 0x80 : 0)));
    length >>= 7;
  } while (length > 0);
  labels.insert(labels.end(), utf8.begin(), utf8.end());
}

QString LabelAt(const std::vector<char>& labels, std::uint32_t at) {
  std::size_t length = 0;
  for (int shift = 0;; shift += 7) {
    const auto byte = std::uint8_t(labels[at++]);
    length |= std::size_t(byte & 0x7F) << shift;
    if (!(byte & 0x80)) break;
  }
  return QString::fromUtf8(labels.data() + at, qsizetype(length));
}

}  // namespace

QString PlainText(QStringView text) {
  QString shown = ShownText(text);
  for (QChar& c : shown) {
    if (c == u'{') {
      c = u'(';
    } else if (c == u'}') {
      c = u')';
    }
  }
  return shown;
}

CSenders::CSenders() {
  AppendLabel(m_vLabels, QStringLiteral("?"));
  Meet(kSelf, QStringLiteral("ZEFMON"));
}

CSenders::SSender& CSenders::Find(std::uint32_t id) {
  if (m_pLast && id == m_nLastId) return *m_pLast;
  auto [it, added] = m_senders.try_emplace(id);
  if (added) {
    it->second.nKey = id == kSelf ? kSelf : std::uint32_t(m_vLabelAt.size());
    SetLabel(it->second.nKey, QStringLiteral("?"));
  }
  // Pointers into an unordered_map stay valid while its elements do.
  m_nLastId = id;
  m_pLast = &it->second;
  return it->second;
}

void CSenders::SetLabel(std::uint32_t key, const QString& label) {
  ++m_nLabelsVersion;
  std::uint32_t at = kUnnamedAt;
  if (label != QLatin1String("?") && m_vLabels.size() + std::size_t(label.size()) * 3 + 5 <= UINT32_MAX) {
    at = std::uint32_t(m_vLabels.size());
    AppendLabel(m_vLabels, label);
  }
  if (key < m_vLabelAt.size()) {
    m_vLabelAt[key] = at;
  } else {
    GrowFor(m_vLabelAt, 1);
    m_vLabelAt.push_back(at);
  }
}

bool CSenders::Meet(std::uint32_t id, const QString& label, bool told) {
  SSender& sender = Find(id);
  if (Label(sender.nKey) != label) SetLabel(sender.nKey, label);
  sender.bTold = told;
  if (label.size() <= m_nWidestLabel) return false;
  m_nWidestLabel = int(label.size());
  return true;
}

bool CSenders::KnowsAsTold(std::uint32_t id) const {
  const auto it = m_senders.find(id);
  return it != m_senders.end() && it->second.bTold;
}

std::uint32_t CSenders::LabelKey(std::uint32_t id) { return Find(id).nKey; }

QString CSenders::Label(std::uint32_t key) const {
  return LabelAt(m_vLabels, key < m_vLabelAt.size() ? m_vLabelAt[key] : kUnnamedAt);
}

std::int64_t CSenders::Take(std::uint32_t id, QStringView line, bool closes, bool opens, std::int64_t time) {
  if (!closes && !opens) return -1;
  SSender& sender = Find(id);
  std::int64_t span = -1;
  // '}' before '{', as the nesting rules count them: "} else {" ends one
  // call and opens the next.
  if (closes) {
    std::vector<SCall>* calls = nullptr;
    if (!sender.vInner.empty()) {
      calls = &sender.vInner;
    } else if (sender.nUncounted > 0) {
      --sender.nUncounted;
    } else if (!sender.vCalls.empty()) {
      calls = &sender.vCalls;
    }
    if (calls) {
      span = std::max<std::int64_t>(0, time - calls->back().nTime);
      calls->pop_back();
    }
  }
  if (opens) {
    SCall call{time, Cut(CallNameOfEnterLine(line), kMaxCallName)};
    if (int(sender.vCalls.size()) < kMaxOpenCalls) {
      sender.vCalls.push_back(std::move(call));
    } else {
      if (int(sender.vInner.size()) == kMaxListedCalls / 2) {
        sender.vInner.erase(sender.vInner.begin());
        ++sender.nUncounted;
      }
      sender.vInner.push_back(std::move(call));
    }
  }
  return span;
}

const QString* CSenders::SSender::NameAt(int i) const {
  if (i < int(vCalls.size())) return &vCalls[std::size_t(i)].strName;
  i -= int(vCalls.size()) + nUncounted;
  return i < 0 ? nullptr : &vInner[std::size_t(i)].strName;
}

QString CSenders::EndedInside(const SSender& sender) {
  const int open = sender.Open();
  QStringList names;
  // The outermost calls, how many are left out, and the innermost ones.
  // Those pushed out into the count are among the innermost half once the
  // sender closed calls back into them: they are counted with the left out.
  const int half = kMaxListedCalls / 2;
  const int outer = open <= kMaxListedCalls ? open : half;
  for (int i = 0; i < outer; ++i) names << *sender.NameAt(i);
  int inner = std::max(outer, open - half);
  while (inner < open && !sender.NameAt(inner)) ++inner;
  if (inner > outer) names << QStringLiteral("\u2026 %1 more \u2026").arg(inner - outer);
  for (int i = inner; i < open; ++i) names << *sender.NameAt(i);
  return names.join(QStringLiteral(" > "));
}

QString CSenders::End(std::uint32_t id) {
  const auto it = m_senders.find(id);
  if (it == m_senders.end()) return QString();
  SSender& sender = it->second;
  QString line;
  if (sender.Open() > 0) line = PlainText(Label(sender.nKey) + QStringLiteral(" ended inside: ") + EndedInside(sender));
  if (m_pLast == &sender) m_pLast = nullptr;
  if (id == kSelf) {
    // The monitor never goes: only its calls are forgotten.
    sender = SSender{kSelf, {}, {}, 0, sender.bTold};
  } else {
    m_senders.erase(it);
  }
  return line;
}

void CSenders::ForgetGone() {
  ++m_nLabelsVersion;
  std::vector<char> labels;
  std::vector<std::uint32_t> labelAt(m_senders.size());
  AppendLabel(labels, QStringLiteral("?"));
  // Self first: its key stays kSelf.
  labelAt[kSelf] = std::uint32_t(labels.size());
  AppendLabel(labels, Label(kSelf));
  std::uint32_t next = kSelf + 1;
  for (auto& [id, sender] : m_senders) {
    if (id == kSelf) continue;
    labelAt[next] = std::uint32_t(labels.size());
    AppendLabel(labels, Label(sender.nKey));
    sender.nKey = next++;
  }
  labels.shrink_to_fit();
  m_vLabels = std::move(labels);
  m_vLabelAt = std::move(labelAt);
}

int CSenders::OpenCalls(std::uint32_t id) const {
  const auto it = m_senders.find(id);
  return it == m_senders.end() ? 0 : it->second.Open();
}

QString SenderLabel(const SPeer& peer, const QString& localHost) {
  QString label = QStringLiteral("%1[%2]").arg(peer.strName).arg(peer.nPid);
  const bool sameName = peer.strToldName == peer.strName;
  const bool sameHost = peer.strToldHost == localHost;
  const bool samePid = peer.nToldPid == qint64(peer.nPid);
  if (peer.bTold && !(sameName && sameHost && samePid)) {
    QString told = peer.strToldName + QLatin1Char('[') +
                   (peer.nToldPid > 0 ? QString::number(peer.nToldPid) : QStringLiteral("?")) + QLatin1Char(']');
    if (!sameHost) told = peer.strToldHost + QStringLiteral(": ") + told;
    label += QStringLiteral(" \u00AB") + told + QStringLiteral("\u00BB");
  }
  return PlainText(label);
}

QString CallNameOfEnterLine(QStringView enterLine) {
  // "  } else {  " names the call "else", as the trace event file does.
  const std::u16string_view name =
      events::CallNameOfEnterLine(std::u16string_view(enterLine.utf16(), std::size_t(enterLine.size())));
  return QString::fromUtf16(name.data(), qsizetype(name.size()));
}

}  // namespace zef
