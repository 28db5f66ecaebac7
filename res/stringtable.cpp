#include "res/stringtable.h"

#include <QHash>

namespace zef {
namespace {

const QHash<std::uint32_t, QString>& Table() {
  static const QHash<std::uint32_t, QString> table = {
      {128, QStringLiteral("ZEF\n\n\n\n\n")},
      {32789, QStringLiteral("Opens hex/bin/oct calculator\nCalculator")},
      {32796, QStringLiteral("Displays all databases in the debug monitor window")},
      {32797, QStringLiteral("Display records in a database")},
      {32798, QStringLiteral("Deletes the whole database (BE CAREFULLY!)")},
      {32799, QStringLiteral("Deletes a record in a database (BE CAREFULLY!)")},
      {32786, QStringLiteral("Searches for a text in the debug monitor\nFind text")},
      {32803, QStringLiteral("Sets the nested calls to zero (e.g. if nested calls are not leaved correctly by the "
                             "debugged program)")},
      {32802, QStringLiteral("Set general ZEFMON options")},
      {32800, QStringLiteral("General settings for database manipulations")},
      {61204, QStringLiteral("No system error message available for %1. Refer to ZEFMON help for more information! "
                             "(last error=%2)")},
      {61205, QStringLiteral("%1 is not a valid number. Invalid Character(s): %2")},
      {61206, QStringLiteral("Calculator %1")},
      {61240, QStringLiteral("%1 is out of range: only numbers from -2147483648 to 4294967295 (32 bits) are "
                             "accepted.")},
      {61207, QStringLiteral("Really delete the database <%1>?")},
      {61208, QStringLiteral("Really delete the record <%1> in database <%2>?")},
      {61209, QStringLiteral("Delete record <%1>?")},
      {61210, QStringLiteral("Delete database <%1>?")},
      {61211, QStringLiteral("Really quit ZEFMON?")},
      {61212, QStringLiteral("Really reset nested calls counter?")},
      {61213, QStringLiteral("Really clear monitor content?")},
      {61215, QStringLiteral("Really terminate process <%1> (%2)?")},
      {61216, QStringLiteral("Really close window <%1>?")},
      {61230, QStringLiteral("The settings could not be saved to %1: %2.")},
      {61241, QStringLiteral("The lines could not be saved to %1: %2.")},
      {61242, QStringLiteral("The calls could not be exported to %1: %2.")},
      {32920, QStringLiteral("Keeps the last line in view while new lines arrive\nFollow new lines")},
      {32921, QStringLiteral("Saves the shown lines, or the selected ones, to a text file\nSave lines")},
      {32926,
       QStringLiteral("Counts and times the calls of each sender in the shown or selected lines\nCall statistics")},
      {32927,
       QStringLiteral("Writes the shown or selected lines as a trace event file for a trace viewer\nExport calls")},
  };
  return table;
}

}  // namespace

QString AppName() { return QStringLiteral("ZEFMON"); }

QString LoadString(std::uint32_t id) { return Table().value(id); }

QString FormatString(const QString& format, const QString& arg1, const QString& arg2) {
  QString result;
  result.reserve(format.size() + arg1.size() + arg2.size());
  for (qsizetype i = 0; i < format.size(); ++i) {
    if (format[i] == u'%' && i + 1 < format.size() && (format[i + 1] == u'1' || format[i + 1] == u'2')) {
      result += format[i + 1] == u'1' ? arg1 : arg2;
      ++i;
    } else {
      result += format[i];
    }
  }
  return result;
}

}  // namespace zef
