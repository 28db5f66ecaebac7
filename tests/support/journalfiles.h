// Journal files of a test's own: entries written in the journal's export
// format and turned into a journal file by systemd-journal-remote (Debian
// package systemd-journal-remote), which appends to a file that is there.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

namespace zef::test {

inline const QString kJournalRemote = QStringLiteral("/lib/systemd/systemd-journal-remote");

inline bool HaveJournalRemote() { return QFile::exists(kJournalRemote); }

using JournalFields = std::vector<std::pair<QByteArray, QByteArray>>;

// Entries in export format: a field whose value holds a newline or a byte
// below ' ' (other than a tab) is written in the binary form.
class CJournalExport {
 public:
  void Add(std::int64_t timeUs, const JournalFields& fields) {
    m_text += "__REALTIME_TIMESTAMP=" + QByteArray::number(timeUs) + '\n';
    for (const auto& [name, value] : fields) {
      bool binary = false;
      for (const char c : value) binary = binary || (static_cast<unsigned char>(c) < ' ' && c != '\t');
      if (!binary) {
        m_text += name + '=' + value + '\n';
        continue;
      }
      m_text += name + '\n';
      std::uint64_t size = std::uint64_t(value.size());
      for (int i = 0; i < 8; ++i, size >>= 8) m_text += char(size & 0xFF);
      m_text += value + '\n';
    }
    m_text += '\n';
  }
  bool IsEmpty() const { return m_text.isEmpty(); }

  // Appends the entries to `journalFile` (its name ends in .journal, its
  // directory is there) and forgets them. False: *error says why.
  bool WriteTo(const QString& journalFile, QString* error) {
    const QString input = journalFile + QStringLiteral(".export");
    QFile file(input);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(m_text) != m_text.size()) {
      *error = QStringLiteral("cannot write ") + input;
      return false;
    }
    file.close();
    QProcess tool;
    tool.start(kJournalRemote, {QStringLiteral("-o"), journalFile, input});
    const bool done = tool.waitForFinished(120000);
    QFile::remove(input);
    if (!done || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
      *error = QStringLiteral("systemd-journal-remote failed: ") + QString::fromLocal8Bit(tool.readAllStandardError());
      return false;
    }
    m_text.clear();
    return true;
  }

 private:
  QByteArray m_text;
};

}  // namespace zef::test
