#include "sources/journal.h"

#include "platform/system/textunits.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <systemd/sd-journal.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace zef {
namespace {

QString ErrorText(int negativeError) { return QString::fromLocal8Bit(std::strerror(-negativeError)); }

// The syslog priorities by name, 0 to 7.
constexpr std::string_view kPriorityNames[] = {"emerg", "alert", "crit", "err", "warning", "notice", "info", "debug"};

int PriorityOf(QStringView text) {
  if (text.size() == 1 && text[0] >= u'0' && text[0] <= u'7') return text[0].unicode() - u'0';
  for (int p = 0; p < 8; ++p)
    if (text == QLatin1StringView(kPriorityNames[p].data(), qsizetype(kPriorityNames[p].size()))) return p;
  return -1;
}

// A journal field's name: 1 to 64 of A-Z, 0-9 and '_', not starting with a
// digit, as sd-journal takes them.
bool FieldNameValid(QStringView name) {
  if (name.isEmpty() || name.size() > 64 || (name[0] >= u'0' && name[0] <= u'9')) return false;
  for (const QChar c : name)
    if (!((c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_')) return false;
  return true;
}

// A word from outside quoted in a message: short, on one line.
QString Quoted(const QString& word) {
  QString shown = word.left(80);
  shown.replace(u'\n', u' ');
  return u'"' + shown + u'"';
}

// The value of `field` ("NAME=value") when its name is `name`.
bool Take(std::string_view field, std::string_view name, QByteArray* value, qsizetype limit) {
  if (field.size() <= name.size() || field[name.size()] != '=' || field.substr(0, name.size()) != name) return false;
  const std::string_view v = field.substr(name.size() + 1);
  *value = QByteArray(v.data(), qsizetype(std::min<std::size_t>(v.size(), std::size_t(limit))));
  return true;
}

}  // namespace

CJournalSenders::CJournalSenders(std::uint32_t first, std::uint32_t count, qsizetype maxLabelChars)
    : m_nFirst(first), m_nCount(count), m_nMaxLabelChars(maxLabelChars) {}

std::uint32_t CJournalSenders::IdFor(QString* label, bool* overflow) {
  if (overflow) *overflow = false;
  if (const auto it = m_senders.constFind(*label); it != m_senders.constEnd()) {
    *label = it->shown;
    return it->id;
  }
  if (std::uint32_t(m_senders.size()) < m_nCount - 1 && m_nLabelChars + label->size() <= m_nMaxLabelChars) {
    SSender sender{m_nFirst + std::uint32_t(m_senders.size()), ShownLabel(*label)};
    if (sender.shown == *label) sender.shown = *label;  // one copy kept, not two
    m_senders.insert(*label, sender);
    m_nLabelChars += label->size();
    *label = sender.shown;
    return sender.id;
  }
  *label = SharedLabel();
  if (overflow && !m_bOverflowSaid) *overflow = m_bOverflowSaid = true;
  return m_nFirst + m_nCount - 1;
}

CJournalSource::CJournalSource(QString directory, std::shared_ptr<CJournalSenders> senders, LineSink onLine,
                               QObject* parent)
    : QObject(parent),
      m_strDirectory(std::move(directory)),
      m_pSenders(std::move(senders)),
      m_onLine(std::move(onLine)) {}

CJournalSource::~CJournalSource() {
  delete m_pNotifier;  // before the descriptor it watches closes
  if (m_pJournal) sd_journal_close(m_pJournal);
}

QString CJournalSource::Name() const {
  return m_strDirectory.isEmpty() ? QStringLiteral("journal") : QStringLiteral("journal:") + m_strDirectory;
}

bool CJournalSource::ParseMatches(const QStringList& words, QList<QByteArray>* matches, QString* error) {
  matches->clear();
  for (const QString& word : words) {
    if (word == u"+") {
      // Between two groups of matches: an entry may satisfy either.
      if (matches->isEmpty() || matches->constLast() == "+") {
        *error = QStringLiteral("\"+\" stands between two groups of journal matches");
        return false;
      }
      matches->append("+");
      continue;
    }
    if (matches->size() >= kMaxMatches) {
      *error = QStringLiteral("at most %1 journal matches can be given").arg(kMaxMatches);
      return false;
    }
    const qsizetype eq = word.indexOf(u'=');
    if (eq < 0) {
      *error = QStringLiteral("%1 is no journal match (FIELD=VALUE, the field in capitals)").arg(Quoted(word));
      return false;
    }
    const QStringView field = QStringView(word).left(eq);
    const QStringView value = QStringView(word).mid(eq + 1);
    if (!FieldNameValid(field)) {
      *error = QStringLiteral("%1 is no journal match (FIELD=VALUE, the field in capitals)").arg(Quoted(word));
      return false;
    }
    if (field != u"PRIORITY") {
      matches->append(word.toUtf8());
      continue;
    }
    const qsizetype dots = value.indexOf(u"..");
    const int low = PriorityOf(dots < 0 ? value : value.left(dots));
    const int high = dots < 0 ? low : PriorityOf(value.mid(dots + 2));
    if (low < 0 || high < low) {
      *error = QStringLiteral("%1: PRIORITY is 0 to 7 (emerg to debug), or a range such as 0..4").arg(Quoted(word));
      return false;
    }
    for (int p = low; p <= high; ++p) matches->append("PRIORITY=" + QByteArray::number(p));
  }
  if (!matches->isEmpty() && matches->constLast() == "+") {
    *error = QStringLiteral("\"+\" stands between two groups of journal matches");
    return false;
  }
  return true;
}

bool CJournalSource::ParseStart(const QString& word, SStart* start) {
  if (word == u"now") {
    *start = {EStart::kNow, 0, {}};
    return true;
  }
  if (word == u"all") {
    *start = {EStart::kAll, 0, {}};
    return true;
  }
  bool ok = false;
  const int n = word.toInt(&ok);
  if (!ok || n < 0) return false;
  *start = {EStart::kLast, n, {}};
  return true;
}

void CJournalSource::Notice(const QString& text) {
  QString label = Name();
  const std::uint32_t id = m_pSenders->IdFor(&label);
  m_onLine(text, id, label, QDateTime::currentMSecsSinceEpoch() * 1000);
}

bool CJournalSource::Start(const QStringList& words, const SStart& start) {
  // The source's own notices come first, so that their sender is never the
  // shared one.
  QString name = Name();
  m_pSenders->IdFor(&name);
  QList<QByteArray> matches;
  QString error;
  if (!ParseMatches(words, &matches, &error)) {
    Notice(Name() + QStringLiteral(": ") + error);
    return false;
  }
  int r = 0;
  if (m_strDirectory.isEmpty()) {
    r = sd_journal_open(&m_pJournal, SD_JOURNAL_LOCAL_ONLY);
  } else if (!QFileInfo(m_strDirectory).isDir()) {
    r = QFileInfo::exists(m_strDirectory) ? -ENOTDIR : -ENOENT;
  } else {
    r = sd_journal_open_directory(&m_pJournal, QFile::encodeName(m_strDirectory).constData(), 0);
  }
  if (r < 0) {
    m_pJournal = nullptr;
    Notice(QStringLiteral("%1: cannot be read: %2").arg(Name(), ErrorText(r)));
    return false;
  }
  if (m_strDirectory.isEmpty() && sd_journal_has_runtime_files(m_pJournal) <= 0 &&
      sd_journal_has_persistent_files(m_pJournal) <= 0) {
    Notice(QStringLiteral(
        "journal: no journal files this user may read (in /run/log/journal or /var/log/journal); members of "
        "the group systemd-journal or adm read the whole journal"));
  }
  if (!m_strDirectory.isEmpty() &&
      QDir(m_strDirectory)
          .entryList({QStringLiteral("*.journal"), QStringLiteral("*.journal~")}, QDir::Files)
          .isEmpty())
    Notice(Name() + QStringLiteral(": no journal files yet; their entries show once they are written"));
  // A compressed field is unpacked no further than a line is kept.
  sd_journal_set_data_threshold(m_pJournal, std::size_t(kMaxLineBytes) + 64);
  for (const QByteArray& match : matches) {
    r = match == "+" ? sd_journal_add_disjunction(m_pJournal)
                     : sd_journal_add_match(m_pJournal, match.constData(), std::size_t(match.size()));
    if (r < 0) {
      Notice(QStringLiteral("%1: the match %2 is refused: %3")
                 .arg(Name(), Quoted(QString::fromUtf8(match)), ErrorText(r)));
      return false;
    }
  }
  // The descriptor is asked for before the first read, so that no change
  // after it goes unseen.
  const int fd = sd_journal_get_fd(m_pJournal);
  if (fd >= 0) {
    m_pNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, [this] {
      sd_journal_process(m_pJournal);
      Pass();
    });
  }
  m_pRecheck = new QTimer(this);
  connect(m_pRecheck, &QTimer::timeout, this, [this] {
    sd_journal_process(m_pJournal);
    Pass();
  });
  m_pRecheck->start(kRecheckMs);
  if (!Seek(start)) Seek({});
  Pass();
  return true;
}

bool CJournalSource::Seek(const SStart& start) {
  m_bOnEntry = false;
  switch (start.kind) {
    case EStart::kAll:
      return sd_journal_seek_head(m_pJournal) >= 0;
    case EStart::kNow:
      // On the last entry, which was already there: the next one is new.
      if (sd_journal_seek_tail(m_pJournal) < 0) return false;
      sd_journal_previous(m_pJournal);
      return true;
    case EStart::kLast:
      if (sd_journal_seek_tail(m_pJournal) < 0) return false;
      if (start.nLast > 0) m_bOnEntry = sd_journal_previous_skip(m_pJournal, std::uint64_t(start.nLast)) > 0;
      else sd_journal_previous(m_pJournal);
      return true;
    case EStart::kCursor: {
      const QByteArray cursor = start.cursor.toUtf8();
      const int r = cursor.size() > 1024 ? -EINVAL : sd_journal_seek_cursor(m_pJournal, cursor.constData());
      if (r < 0) {
        Notice(QStringLiteral("%1: the saved position %2 cannot be used (%3); reading from now on")
                   .arg(Name(), Quoted(start.cursor), ErrorText(r)));
        return false;
      }
      // On the saved entry itself, when it is still there, which was read.
      if (sd_journal_next(m_pJournal) > 0) m_bOnEntry = sd_journal_test_cursor(m_pJournal, cursor.constData()) <= 0;
      return true;
    }
  }
  return false;
}

void CJournalSource::SchedulePass() {
  if (m_bPassQueued) return;
  m_bPassQueued = true;
  QTimer::singleShot(0, this, [this] { Pass(); });
}

void CJournalSource::Pass() {
  m_bPassQueued = false;
  if (!m_pJournal) return;
  int read = 0;
  while (read < kMaxPassEntries) {
    if (!m_bOnEntry) {
      const int r = sd_journal_next(m_pJournal);
      if (r < 0) {
        // Said once until reading goes on again, not at every look.
        if (!m_bSaidReadError) Notice(QStringLiteral("%1: cannot read on: %2").arg(Name(), ErrorText(r)));
        m_bSaidReadError = true;
        break;
      }
      m_bSaidReadError = false;
      if (r == 0) break;
    }
    m_bOnEntry = false;
    ReadEntry();
    ++read;
  }
  if (read == 0) return;
  char* cursor = nullptr;
  if (sd_journal_get_cursor(m_pJournal, &cursor) >= 0) {
    m_strCursor = QString::fromUtf8(cursor);
    std::free(cursor);
  }
  if (read == kMaxPassEntries) SchedulePass();
}

void CJournalSource::ReadEntry() {
  QByteArray message, unit, comm, pid, identifier, syslogPid, host;
  const void* data = nullptr;
  std::size_t size = 0;
  // One walk over the entry's fields: asking for each field by name walks
  // them once per field.
  sd_journal_restart_data(m_pJournal);
  while (sd_journal_enumerate_data(m_pJournal, &data, &size) > 0) {
    const std::string_view field(static_cast<const char*>(data), size);
    switch (field.empty() ? 0 : field[0]) {
      case 'M':
        Take(field, "MESSAGE", &message, kMaxLineBytes + 1);
        break;
      case 'S':
        (void)(Take(field, "SYSLOG_IDENTIFIER", &identifier, kMaxLabelField) ||
               Take(field, "SYSLOG_PID", &syslogPid, kMaxLabelField));
        break;
      case '_':
        (void)(Take(field, "_SYSTEMD_UNIT", &unit, kMaxLabelField) || Take(field, "_COMM", &comm, kMaxLabelField) ||
               Take(field, "_PID", &pid, kMaxLabelField) || Take(field, "_HOSTNAME", &host, kMaxLabelField));
        break;
      default:
        break;
    }
  }
  QString label;
  if (!unit.isEmpty()) {
    label = QString::fromUtf8(unit);
  } else {
    const QByteArray& who = comm.isEmpty() ? identifier : comm;
    const QByteArray& which = pid.isEmpty() ? syslogPid : pid;
    label = who.isEmpty() ? QStringLiteral("journal") : QString::fromUtf8(who);
    if (!which.isEmpty()) label += u'[' + QString::fromUtf8(which) + u']';
  }
  if (!host.isEmpty()) label += u'@' + QString::fromUtf8(host);
  std::uint64_t timeUs = 0;
  if (sd_journal_get_realtime_usec(m_pJournal, &timeUs) < 0) timeUs = 0;
  Emit(std::move(message), label, std::int64_t(timeUs));
}

void CJournalSource::Emit(QByteArray message, const QString& label, std::int64_t timeUs) {
  const bool cut = message.size() > kMaxLineBytes;
  if (cut) message.truncate(kMaxLineBytes);
  if (message.endsWith('\n')) message.chop(1);
  QString shownLabel = label;
  bool overflow = false;
  const std::uint32_t id = m_pSenders->IdFor(&shownLabel, &overflow);
  if (overflow) {
    Notice(QStringLiteral("%1: more than %2 journal senders; the lines of the others go under \"%3\"")
               .arg(Name())
               .arg(m_pSenders->Capacity())
               .arg(CJournalSenders::SharedLabel()));
  }
  // A message of several lines is as many lines, at the entry's time.
  qsizetype from = 0;
  for (;;) {
    qsizetype to = message.indexOf('\n', from);
    const bool last = to < 0;
    if (last) to = message.size();
    qsizetype end = to;
    if (end > from && message[end - 1] == '\r') --end;
    m_onLine(QString::fromUtf8(message.constData() + from, end - from), id, shownLabel, timeUs);
    if (last) break;
    from = to + 1;
  }
  if (cut)
    Notice(QStringLiteral("%1: a message longer than %2 bytes was cut there (from %3)")
               .arg(Name())
               .arg(kMaxLineBytes)
               .arg(shownLabel));
}

}  // namespace zef
