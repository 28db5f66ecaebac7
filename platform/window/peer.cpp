#include "platform/window/peer.h"

#include "platform/system/process.h"
#include "platform/system/textunits.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace zef {
namespace {

// The first of the two or three fields left in `rest`, which then holds the
// text after its '\n'; false when there is no '\n' left.
bool TakeField(QStringView* rest, QStringView* field) {
  const qsizetype end = rest->indexOf(u'\n');
  if (end < 0) return false;
  *field = rest->left(end);
  *rest = rest->mid(end + 1);
  return true;
}

}  // namespace

QString CleanPeerText(QStringView text) {
  qsizetype begin = 0;
  while (begin < text.size() && text[begin].isSpace()) ++begin;
  // Cut before anything else, so a long text costs no more than a short one;
  // only the end left after the cut is trimmed.
  QString kept = CutToUnits(text.mid(begin, kMaxPeerTextUnits + 1).toString(), kMaxPeerTextUnits);
  while (!kept.isEmpty() && kept.back().isSpace()) kept.chop(1);
  return ShownLabel(kept);
}

qint64 ParseToldPid(QStringView text) {
  if (text.isEmpty()) return 0;
  qint64 pid = 0;
  for (QChar c : text) {
    if (c.unicode() < u'0' || c.unicode() > u'9') return 0;
    pid = pid * 10 + (c.unicode() - u'0');
    if (pid > kMaxPid) return 0;
  }
  return pid;
}

void TakeToldIdentity(QStringView text, SPeer* peer) {
  QStringView rest = text;
  QStringView host, pid;
  if (!TakeField(&rest, &host) || !TakeField(&rest, &pid) || rest.contains(u'\n')) return;
  peer->bTold = true;
  peer->strToldHost = CleanPeerText(host);
  peer->nToldPid = ParseToldPid(pid);
  peer->strToldName = CleanPeerText(rest);
}

QString ReadPeerName(const std::string& procDir) {
  char path[PATH_MAX];
  const ssize_t length = ::readlink((procDir + "/exe").c_str(), path, sizeof path);
  // A full buffer may be a cut path, whose last part is not the name.
  if (length > 0 && size_t(length) < sizeof path) {
    std::string_view exe(path, size_t(length));
    constexpr std::string_view kDeleted = " (deleted)";
    if (exe.size() > kDeleted.size() && exe.substr(exe.size() - kDeleted.size()) == kDeleted)
      exe.remove_suffix(kDeleted.size());
    const size_t slash = exe.rfind('/');
    if (slash != std::string_view::npos) exe.remove_prefix(slash + 1);
    const QString name = CleanPeerText(QString::fromUtf8(exe.data(), qsizetype(exe.size())));
    if (!name.isEmpty()) return name;
  }
  if (const int fd = ::open((procDir + "/comm").c_str(), O_RDONLY | O_CLOEXEC); fd >= 0) {
    char comm[64];  // the kernel keeps 16 bytes
    ssize_t n;
    do {
      n = ::read(fd, comm, sizeof comm);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    const QString name = n > 0 ? CleanPeerText(QString::fromUtf8(comm, qsizetype(n))) : QString();
    if (!name.isEmpty()) return name;
  }
  return QStringLiteral("?");
}

QString ReadPeerName(pid_t pid) { return ReadPeerName(std::string(kProcRoot) + "/" + std::to_string(pid)); }

}  // namespace zef
