#include "sources/sourcesettings.h"

#include "platform/system/profile.h"
#include "sources/journal.h"

#include <algorithm>
#include <array>

namespace zef {
namespace {

const QString kSection = QStringLiteral("Init.Sources");

// A settings value is the argument and a few words before it.
constexpr int kMaxValue = SSource::kMaxArgument + 64;
// Lines that say what a load left out, before the rest is only counted.
constexpr qsizetype kMaxProblems = 20;

constexpr std::array<const char16_t*, 4> kKindKeys{u"file", u"kernel", u"journal", u"journal-dir"};
constexpr std::array<const char16_t*, 4> kKindNames{u"File", u"Kernel log", u"Journal", u"Journal directory"};

bool HasControl(const QString& text) {
  return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

QString CheckMatches(const QString& matches) {
  const QStringList words = matches.split(u' ', Qt::SkipEmptyParts);
  if (words.size() > SSource::kMaxMatches)
    return QStringLiteral("more than %1 journal matches").arg(SSource::kMaxMatches);
  QList<QByteArray> parsed;
  QString error;
  return CJournalSource::ParseMatches(words, &parsed, &error) ? QString() : error;
}

QString Key(const char16_t* name, int n) { return QString::fromUtf16(name) + QString::number(n); }

}  // namespace

SSource MakeSource(ESourceKind kind, const QString& argument) {
  SSource entry;
  entry.kind = kind;
  entry.strArgument = argument;
  // The kernel keeps only a ring of recent records: all of them are wanted.
  entry.bFromStart = kind == ESourceKind::Kernel;
  return entry;
}

QString PrintSource(const SSource& entry) {
  QString text = QString::fromUtf16(kKindKeys[std::size_t(entry.kind)]);
  const bool usualStart = entry.bFromStart == MakeSource(entry.kind).bFromStart;
  if (!IsJournal(entry.kind) && !usualStart) text += entry.bFromStart ? u",start" : u",end";
  if (IsJournal(entry.kind) && entry.bFromStart) text += u",all";
  if (IsJournal(entry.kind) && entry.nLast > 0) text += QStringLiteral(",last=") + QString::number(entry.nLast);
  if (entry.kind != ESourceKind::Kernel) text += u':' + entry.strArgument;
  return text;
}

bool ParseSource(const QString& text, SSource* entry, QString* error) {
  const auto fail = [error](const QString& why) {
    if (error) *error = why;
    return false;
  };
  if (text.size() > kMaxValue) return fail(QStringLiteral("longer than %1 characters").arg(kMaxValue));
  const qsizetype colon = text.indexOf(u':');
  const QStringList head = (colon < 0 ? text : text.left(colon)).split(u',');
  const auto* kind = std::find_if(kKindKeys.begin(), kKindKeys.end(),
                                  [&](const char16_t* key) { return head.front().trimmed() == QStringView(key); });
  if (kind == kKindKeys.end()) return fail(QStringLiteral("unknown kind \"%1\"").arg(head.front().left(40)));
  SSource parsed = MakeSource(ESourceKind(kind - kKindKeys.begin()), colon < 0 ? QString() : text.mid(colon + 1));
  for (qsizetype i = 1; i < head.size(); ++i) {
    const QString option = head[i].trimmed();
    bool number = false;
    const int last = option.startsWith(u"last=") ? option.mid(5).toInt(&number) : 0;
    if (!IsJournal(parsed.kind) && (option == u"start" || option == u"end")) {
      parsed.bFromStart = option == u"start";
    } else if (IsJournal(parsed.kind) && option == u"all") {
      parsed.bFromStart = true;
    } else if (IsJournal(parsed.kind) && number && last >= 0 && last <= SSource::kMaxLast) {
      parsed.nLast = last;
    } else {
      return fail(QStringLiteral("unknown option \"%1\"").arg(option.left(40)));
    }
  }
  if (const QString why = CheckSource(parsed); !why.isEmpty()) return fail(why);
  *entry = parsed;
  return true;
}

QString CheckSource(const SSource& entry) {
  const QString& argument = entry.strArgument;
  if (argument.size() > SSource::kMaxArgument)
    return QStringLiteral("longer than %1 characters").arg(SSource::kMaxArgument);
  if (HasControl(argument) || HasControl(entry.strMatches)) return QStringLiteral("holds a control character");
  if (entry.kind != ESourceKind::JournalDir && !entry.strMatches.isEmpty())
    return QStringLiteral("only a journal takes matches");
  switch (entry.kind) {
    case ESourceKind::File:
      return argument.isEmpty() ? QStringLiteral("no file named") : QString();
    case ESourceKind::JournalDir:
      if (entry.strMatches.size() > SSource::kMaxArgument)
        return QStringLiteral("matches longer than %1 characters").arg(SSource::kMaxArgument);
      return argument.isEmpty() ? QStringLiteral("no directory named") : CheckMatches(entry.strMatches);
    case ESourceKind::Kernel:
      return argument.isEmpty() ? QString() : QStringLiteral("the kernel log takes no argument");
    case ESourceKind::Journal:
      return CheckMatches(argument);
  }
  return QStringLiteral("unknown kind");
}

QString DescribeSource(const SSource& entry) {
  QString text = QString::fromUtf16(kKindNames[std::size_t(entry.kind)]);
  if (!entry.strArgument.isEmpty()) text += u' ' + entry.strArgument;
  if (!entry.strMatches.isEmpty()) text += QStringLiteral(", matching ") + entry.strMatches;
  if (entry.kind == ESourceKind::File && entry.bFromStart) text += QStringLiteral(", from its beginning");
  if (entry.kind == ESourceKind::Kernel && !entry.bFromStart) text += QStringLiteral(", new records only");
  if (IsJournal(entry.kind) && entry.bFromStart) text += QStringLiteral(", from its oldest entry");
  else if (IsJournal(entry.kind) && entry.nLast > 0) text += QStringLiteral(", last %1 entries first").arg(entry.nLast);
  if (entry.bSession) text += QStringLiteral(" (command line)");
  return text;
}

QStringList SourceKindNames() {
  QStringList names;
  for (const char16_t* name : kKindNames) names << QString::fromUtf16(name);
  return names;
}

void CSourceSettings::Exchange(CProfile& profile, DataDirection direction) {
  if (direction == DataDirection::FromControls) {
    std::vector<const SSource*> saved;
    for (const SSource& entry : m_vSources)
      if (!entry.bSession && int(saved.size()) < SSource::kMaxSources) saved.push_back(&entry);
    // A file that never had sources gets no section for none.
    if (saved.empty() && profile.GetProfileInt(kSection, QStringLiteral("Count"), -1) == -1) return;
    profile.WriteProfileInt(kSection, QStringLiteral("Count"), int(saved.size()));
    for (std::size_t i = 0; i < saved.size(); ++i) {
      profile.WriteProfileString(kSection, Key(u"Source", int(i) + 1), PrintSource(*saved[i]));
      profile.WriteProfileInt(kSection, Key(u"On", int(i) + 1), saved[i]->bEnabled ? 1 : 0);
      if (IsJournal(saved[i]->kind))
        profile.WriteProfileString(kSection, Key(u"Cursor", int(i) + 1), saved[i]->strCursor);
      if (saved[i]->kind == ESourceKind::JournalDir)
        profile.WriteProfileString(kSection, Key(u"Matches", int(i) + 1), saved[i]->strMatches);
    }
    return;
  }
  std::erase_if(m_vSources, [](const SSource& entry) { return !entry.bSession; });
  m_problems.clear();
  const int stored = profile.GetProfileInt(kSection, QStringLiteral("Count"), 0);
  if (stored > SSource::kMaxSources)
    m_problems
        << QStringLiteral("Sources: %1 listed, only the first %2 are read.").arg(stored).arg(SSource::kMaxSources);
  const int count = std::clamp(stored, 0, SSource::kMaxSources);
  std::vector<SSource> loaded;
  int missing = 0;
  int unsaid = 0;
  const auto leftOut = [&](int n, const QString& why) {
    // A damaged file could fill the monitor with these: a few, then a count.
    if (m_problems.size() < kMaxProblems)
      m_problems << QStringLiteral("Sources: source %1 left out: %2.").arg(n).arg(why);
    else ++unsaid;
  };
  for (int n = 1; n <= count; ++n) {
    const QString value = profile.GetProfileString(kSection, Key(u"Source", n), QString());
    if (value.isEmpty()) {
      ++missing;
      continue;
    }
    SSource entry;
    QString why;
    if (!ParseSource(value, &entry, &why)) {
      leftOut(n, why);
      continue;
    }
    // Saved paths are the dialog's, always whole: a relative one would
    // depend on where the monitor happens to start.
    if (TakesPath(entry.kind) && !entry.strArgument.startsWith(u'/')) {
      leftOut(n, QStringLiteral("\"%1\" is not a full path").arg(entry.strArgument.left(200)));
      continue;
    }
    if (entry.kind == ESourceKind::JournalDir) {
      entry.strMatches = profile.GetProfileString(kSection, Key(u"Matches", n), QString());
      if (const QString bad = CheckSource(entry); !bad.isEmpty()) {
        leftOut(n, bad);
        continue;
      }
    }
    entry.bEnabled = profile.GetProfileInt(kSection, Key(u"On", n), 1) != 0;
    if (IsJournal(entry.kind)) {
      const QString cursor = profile.GetProfileString(kSection, Key(u"Cursor", n), QString());
      if (cursor.size() <= SSource::kMaxCursor && !HasControl(cursor)) entry.strCursor = cursor;
      else if (m_problems.size() < kMaxProblems)
        m_problems
            << QStringLiteral("Sources: source %1: its saved journal position is damaged and was not used.").arg(n);
    }
    loaded.push_back(std::move(entry));
  }
  if (unsaid > 0) m_problems << QStringLiteral("Sources: %1 more left out.").arg(unsaid);
  if (missing > 0) m_problems << QStringLiteral("Sources: %1 of those listed are missing.").arg(missing);
  m_vSources.insert(m_vSources.begin(), loaded.begin(), loaded.end());
}

}  // namespace zef
