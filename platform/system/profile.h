// The registry profile of the application: sections of named integer and
// string values, with the caller's default for whatever is absent.
//
// Backed by QSettings in the native format (on Linux an INI file,
// ~/.config/<company>/<application>.conf), one group per section, value
// names unchanged, integers stored as integers. Only that one file is read:
// the settings library's fallbacks (~/.config/<company>.conf and the
// system-wide files under /etc/xdg) are off, so values of other files are
// neither used nor copied into the user's file at the next save.
#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace zef {

class CProfile {
 public:
  // The profile of `company`/`application` in the user's configuration.
  CProfile(const QString& company, const QString& application);
  // A profile kept in the given file (tests, other locations).
  explicit CProfile(const QString& fileName);
  ~CProfile();
  CProfile(const CProfile&) = delete;
  CProfile& operator=(const CProfile&) = delete;

  // The stored value, or `defaultValue` when the value is absent or is not
  // an integer (text where an integer belongs reads as absent).
  int GetProfileInt(const QString& section, const QString& entry, int defaultValue) const;
  QString GetProfileString(const QString& section, const QString& entry, const QString& defaultValue) const;

  void WriteProfileInt(const QString& section, const QString& entry, int value);
  void WriteProfileString(const QString& section, const QString& entry, const QString& value);

  // The file the profile reads and writes.
  QString FileName() const;

  // Writes pending changes to the file. False when the file could not be
  // written; `reason` (when given) then says why, as one phrase ("Permission
  // denied", "it is a folder, not a file"). A file that could not be read
  // (damaged) does not make the save fail: it is replaced by the values
  // read from it and those written since. After such a file was read, a
  // Flush with nothing pending writes nothing and reports a failure.
  bool Flush(QString* reason = nullptr);

 private:
  QString WriteProblem() const;

  std::unique_ptr<QSettings> m_pSettings;
};

}  // namespace zef
