// The string table.
#pragma once

#include <QString>

#include <cstdint>

namespace zef {

// The application name: caption of every message box, key of the settings.
QString AppName();

// String `id` of the table, or an empty string for an id it does not hold.
QString LoadString(std::uint32_t id);

// `format` with every %1 replaced by `arg1` and every %2 by `arg2`; other
// % sequences stay as they are. Inserted text is not scanned again.
QString FormatString(const QString& format, const QString& arg1, const QString& arg2 = {});

}  // namespace zef
