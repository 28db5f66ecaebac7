#include "monitor/senders.h"

#include "platform/window/peer.h"

#include <QStringList>

namespace zef {
namespace {

// What a label or a call name must not carry into a line of the monitor:
// braces would change the nesting of every line after it, line breaks and
// other controls would split or garble the line in the log.
QString Plain(QString text) {
  for (QChar& c : text) {
    if (c == u'{') {
      c = u'(';
    } else if (c == u'}') {
      c = u')';
    } else if (c.category() == QChar::Other_Control || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
      c = QChar::ReplacementCharacter;
    }
  }
  return text;
}

QString Cut(QStringView text, int length) {
  if (text.size() <= length) return text.toString();
  return text.left(length - 1).toString() + QChar(0x2026);
}

}  // namespace

CSenders::CSenders() { Meet(kSelf, QStringLiteral("ZEFMON")); }

CSenders::SSender& CSenders::Find(std::uint32_t id) {
  if (m_pLast && id == m_nLastId) return *m_pLast;
  auto [it, added] = m_senders.try_emplace(id);
  if (added) it->second.strLabel = QStringLiteral("?");
  // Pointers into an unordered_map stay valid while its elements do.
  m_nLastId = id;
  m_pLast = &it->second;
  return it->second;
}

bool CSenders::Meet(std::uint32_t id, const QString& label, bool told) {
  SSender& sender = Find(id);
  sender.strLabel = label;
  sender.bGone = false;
  sender.bTold = told;
  if (label.size() <= m_nWidestLabel) return false;
  m_nWidestLabel = int(label.size());
  return true;
}

bool CSenders::KnowsAsTold(std::uint32_t id) const {
  const auto it = m_senders.find(id);
  return it != m_senders.end() && it->second.bTold;
}

const QString& CSenders::Label(std::uint32_t id) const {
  static const QString unknown = QStringLiteral("?");
  const auto it = m_senders.find(id);
  return it == m_senders.end() ? unknown : it->second.strLabel;
}

std::int64_t CSenders::Take(std::uint32_t id, QStringView line, bool closes, bool opens, std::int64_t time) {
  if (!closes && !opens) return -1;
  SSender& sender = Find(id);
  std::int64_t span = -1;
  // '}' before '{', as the nesting rules count them: "} else {" ends one
  // call and opens the next.
  if (closes) {
    if (sender.nUncounted > 0) {
      --sender.nUncounted;
    } else if (!sender.vCalls.empty()) {
      span = std::max<std::int64_t>(0, time - sender.vCalls.back().nTime);
      sender.vCalls.pop_back();
    }
  }
  if (opens) {
    if (int(sender.vCalls.size()) < kMaxOpenCalls) {
      sender.vCalls.push_back({time, Cut(CallNameOfEnterLine(line), kMaxCallName)});
    } else {
      ++sender.nUncounted;
    }
  }
  return span;
}

QString CSenders::End(std::uint32_t id) {
  const auto it = m_senders.find(id);
  if (it == m_senders.end()) return QString();
  SSender& sender = it->second;
  sender.bGone = true;
  const int open = int(sender.vCalls.size()) + sender.nUncounted;
  if (open == 0) return QString();

  QStringList names;
  const int named = int(sender.vCalls.size());
  if (open <= kMaxListedCalls) {
    for (const SCall& call : sender.vCalls) names << call.strName;
  } else {
    // The outermost calls, how many are left out, and the innermost ones
    // (counted calls are the innermost and have no names).
    const int half = kMaxListedCalls / 2;
    for (int i = 0; i < std::min(half, named); ++i) names << sender.vCalls[std::size_t(i)].strName;
    const int tailNamed = std::max(0, std::min(half, named - half));
    names << QStringLiteral("\u2026 %1 more \u2026").arg(open - std::min(half, named) - tailNamed);
    for (int i = named - tailNamed; i < named; ++i) names << sender.vCalls[std::size_t(i)].strName;
  }
  sender.vCalls.clear();
  sender.vCalls.shrink_to_fit();
  sender.nUncounted = 0;
  return Plain(sender.strLabel + QStringLiteral(" ended inside: ") + names.join(QStringLiteral(" > ")));
}

void CSenders::ForgetGone() {
  for (auto it = m_senders.begin(); it != m_senders.end();) {
    if (it->second.bGone && it->first != kSelf) {
      if (m_pLast == &it->second) m_pLast = nullptr;
      it = m_senders.erase(it);
    } else {
      ++it;
    }
  }
}

int CSenders::OpenCalls(std::uint32_t id) const {
  const auto it = m_senders.find(id);
  return it == m_senders.end() ? 0 : int(it->second.vCalls.size()) + it->second.nUncounted;
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
  return Plain(label);
}

QString CallNameOfEnterLine(QStringView enterLine) {
  // "  } else {  " names the call "else".
  QStringView name = enterLine.trimmed();
  while (!name.isEmpty() && (name.front() == u'}' || name.front().isSpace())) name = name.mid(1);
  while (!name.isEmpty() && (name.back() == u'{' || name.back().isSpace())) name.chop(1);
  return name.toString();
}

}  // namespace zef
