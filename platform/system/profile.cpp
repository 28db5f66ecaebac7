#include "platform/system/profile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>

#include <sys/stat.h>

namespace zef {
namespace {
QString Key(const QString& section, const QString& entry) { return section + u'/' + entry; }

// What tells one version of a file from the next. A save replaces the file
// by a new one (a new inode), or, where only the file itself is writable,
// rewrites it in place (a new modification time).
struct SFileIdentity {
  bool bExists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};

  bool operator==(const SFileIdentity& other) const {
    return bExists == other.bExists && device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
  }
};

SFileIdentity IdentityOf(const QString& fileName) {
  SFileIdentity identity;
  struct stat st {};
  if (::stat(QFile::encodeName(fileName).constData(), &st) != 0 || !S_ISREG(st.st_mode)) return identity;
  identity.bExists = true;
  identity.device = st.st_dev;
  identity.inode = st.st_ino;
  identity.size = st.st_size;
  identity.modified = st.st_mtim;
  return identity;
}
}  // namespace

CProfile::CProfile(const QString& company, const QString& application)
    : m_pSettings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, company, application)) {
  m_pSettings->setFallbacksEnabled(false);
}

CProfile::CProfile(const QString& fileName) : m_pSettings(std::make_unique<QSettings>(fileName, QSettings::IniFormat)) {
  m_pSettings->setFallbacksEnabled(false);
}

CProfile::~CProfile() = default;

int CProfile::GetProfileInt(const QString& section, const QString& entry, int defaultValue) const {
  const QVariant value = m_pSettings->value(Key(section, entry));
  if (!value.isValid()) return defaultValue;
  bool ok = false;
  // The INI backend hands integers back as text; anything that is not a
  // whole 32-bit number is treated like an absent value.
  const int number = value.toString().trimmed().toInt(&ok, 10);
  return ok ? number : defaultValue;
}

QString CProfile::GetProfileString(const QString& section, const QString& entry, const QString& defaultValue) const {
  const QVariant value = m_pSettings->value(Key(section, entry));
  if (!value.isValid()) return defaultValue;
  // A list (a value with unquoted commas written by hand) is not a string.
  if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(u',');
  return value.toString();
}

void CProfile::WriteProfileInt(const QString& section, const QString& entry, int value) {
  m_pSettings->setValue(Key(section, entry), value);
}

void CProfile::WriteProfileString(const QString& section, const QString& entry, const QString& value) {
  m_pSettings->setValue(Key(section, entry), value);
}

QString CProfile::FileName() const { return m_pSettings->fileName(); }

bool CProfile::Flush(QString* reason) {
  // QSettings keeps the first error it met and never clears it: once a
  // damaged file was read (FormatError, at load or when the sync reads the
  // file again), its status says nothing of the write, neither success nor
  // failure. Then the file itself answers: a write that happened left a
  // regular file other than the one before.
  const SFileIdentity before = IdentityOf(FileName());
  m_pSettings->sync();
  const QSettings::Status status = m_pSettings->status();
  bool written = status == QSettings::NoError;
  if (status == QSettings::FormatError) {
    const SFileIdentity after = IdentityOf(FileName());
    written = after.bExists && !(after == before);
  }
  if (written) return true;
  if (reason) *reason = WriteProblem();
  return false;
}

QString CProfile::WriteProblem() const {
  // QSettings reports only "access error" or "format error"; the reason is
  // found by retracing its steps: the folder must exist (it creates missing
  // ones) and take a new file, since the file is replaced as a whole.
  const QString fileName = FileName();
  const QFileInfo file(fileName);
  if (file.isDir()) return QStringLiteral("it is a folder, not a file");
  const QString folder = file.absolutePath();
  if (!QFileInfo(folder).isDir()) {
    // The nearest part of the path that exists says why the folder is missing.
    QFileInfo existing(folder);
    while (!existing.exists() && existing.absoluteFilePath() != existing.absolutePath())
      existing.setFile(existing.absolutePath());
    if (!existing.isDir())
      return QStringLiteral("%1 is not a folder").arg(QDir::toNativeSeparators(existing.filePath()));
    return QStringLiteral("the folder %1 does not exist and cannot be created").arg(QDir::toNativeSeparators(folder));
  }
  // Opening a save file writes nothing until it is committed.
  QSaveFile probe(fileName);
  if (!probe.open(QIODevice::WriteOnly)) return probe.errorString();
  probe.cancelWriting();
  return QStringLiteral("writing it failed (is the disk full?)");
}

}  // namespace zef
