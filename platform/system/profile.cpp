#include "platform/system/profile.h"

#include <QSettings>

namespace zef {
namespace {
QString Key(const QString& section, const QString& entry) { return section + u'/' + entry; }
}  // namespace

CProfile::CProfile(const QString& company, const QString& application)
    : m_pSettings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, company, application)) {}

CProfile::CProfile(const QString& fileName)
    : m_pSettings(std::make_unique<QSettings>(fileName, QSettings::IniFormat)) {}

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

bool CProfile::Flush() {
  m_pSettings->sync();
  return m_pSettings->status() == QSettings::NoError;
}

}  // namespace zef
