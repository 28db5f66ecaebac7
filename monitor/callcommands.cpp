#include "monitor/callcommands.h"

#include "monitor/follow.h"
#include "monitor/linetransfer.h"
#include "monitor/monitorlist.h"
#include "monitor/senders.h"
#include "platform/dialog/msgbox.h"
#include "res/stringtable.h"
#include "trace/events/traceevents.h"

#include <QDir>
#include <QFileDialog>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace zef {
namespace {

// Below this many lines a part, threads cost more than they save.
constexpr int kLinesPerPart = 1 << 16;
// Characters of a call's name in the table; longer ones end in "…".
constexpr int kMaxNameColumn = 48;

// Rows [first, end) of `rows` (or shown rows first .. end - 1 when null).
CCallStatistics StatisticsOfPart(const CMonitorList& list, const std::vector<int>* rows, int first, int end) {
  CCallStatistics part;
  for (int i = first; i < end; ++i) {
    const int row = rows ? (*rows)[std::size_t(i)] : i;
    const bool closes = list.LineContains(row, u'}');
    const bool opens = list.LineContains(row, u'{');
    if (!closes && !opens) continue;
    const SLineStamp stamp = list.GetStamp(row);
    if (CCallStatistics::NeedsText(closes, stamp.nSpan)) {
      part.Add(stamp.nSender, closes, opens, stamp.nSpan, list.GetOwnText(row));
    } else {
      part.Add(stamp.nSender, closes, opens, stamp.nSpan);
    }
  }
  return part;
}

QString Fit(const QString& text, int width) {
  if (text.size() > width) return text.left(width - 1) + QChar(0x2026);
  return text.leftJustified(width);
}

QString Number(std::int64_t value, int width) { return GroupedCount(value).rightJustified(width); }
QString Duration(std::int64_t value, int width) { return FormatDuration(value).rightJustified(width); }

std::u16string_view View(QStringView text) { return {text.utf16(), std::size_t(text.size())}; }

QString Calls(std::int64_t count) {
  return GroupedCount(count) + (count == 1 ? QStringLiteral(" call") : QStringLiteral(" calls"));
}

}  // namespace

CCallStatistics CallStatisticsOf(const CMonitorList& list, const std::vector<int>* rows) {
  const int count = rows ? int(rows->size()) : list.GetCount();
  const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
  const int parts = std::clamp(count / kLinesPerPart, 1, cores);
  // The list is only read while the parts run: its const reads are safe
  // from several threads at once, as its filter's judging relies on.
  std::vector<CCallStatistics> results(std::size_t(parts - 1));
  std::vector<std::thread> threads;
  for (int part = 1; part < parts; ++part)
    threads.emplace_back([&, part] {
      results[std::size_t(part - 1)] = StatisticsOfPart(list, rows, int(std::int64_t(count) * part / parts),
                                                        int(std::int64_t(count) * (part + 1) / parts));
    });
  CCallStatistics statistics = StatisticsOfPart(list, rows, 0, count / parts);
  for (std::thread& thread : threads) thread.join();
  for (CCallStatistics& later : results) statistics.Merge(std::move(later));
  return statistics;
}

std::vector<QString> CallStatisticsLines(const std::vector<CCallStatistics::SSender>& result, const CSenders& senders,
                                         const QString& what) {
  std::int64_t calls = 0;
  for (const CCallStatistics::SSender& sender : result) calls += sender.nCalls;
  std::vector<QString> lines;
  lines.push_back(QStringLiteral("Calls in %1: %2 from %3 %4")
                      .arg(what, Calls(calls))
                      .arg(result.size())
                      .arg(result.size() == 1 ? QStringLiteral("sender") : QStringLiteral("senders")));
  constexpr int kNumber = 11;
  for (const CCallStatistics::SSender& sender : result) {
    QString head = PlainText(senders.Label(sender.nSender)) + QStringLiteral(": ") + Calls(sender.nCalls);
    if (sender.nOpen > 0)
      head += QStringLiteral(", %1 still open").arg(sender.nOpen == 1 ? QStringLiteral("1 call") : Calls(sender.nOpen));
    lines.push_back(head);
    if (sender.vRows.empty()) continue;
    int width = 4;
    for (const CCallStatistics::SRow& row : sender.vRows) width = std::max(width, int(row.strName.size()));
    width = std::min(width, kMaxNameColumn);
    QString columns = QStringLiteral("  ") + Fit(QStringLiteral("call"), width);
    for (const char* title : {"count", "total", "mean", "min", "max", "p95"})
      columns += QStringLiteral(" ") + QString::fromLatin1(title).rightJustified(kNumber);
    lines.push_back(columns);
    for (const CCallStatistics::SRow& row : sender.vRows) {
      const QString name = row.strName.isEmpty() ? QStringLiteral("(no name)") : PlainText(row.strName);
      lines.push_back(QStringLiteral("  ") + Fit(name, width) + QStringLiteral(" ") + Number(row.nCount, kNumber) +
                      QStringLiteral(" ") + Duration(row.nTotal, kNumber) + QStringLiteral(" ") +
                      Duration(row.nMean, kNumber) + QStringLiteral(" ") + Duration(row.nMin, kNumber) +
                      QStringLiteral(" ") + Duration(row.nMax, kNumber) + QStringLiteral(" ") +
                      Duration(row.nP95, kNumber));
    }
    if (sender.nMoreNames > 0)
      lines.push_back(QStringLiteral("  \u2026 %1 more %2: %3, %4 in all")
                          .arg(GroupedCount(sender.nMoreNames),
                               sender.nMoreNames == 1 ? QStringLiteral("name") : QStringLiteral("names"),
                               Calls(sender.nMoreCalls), FormatDuration(sender.nMoreTotal)));
  }
  return lines;
}

bool ExportCalls(CMonitorList& list, const std::vector<int>* rows, const QString& path, QString* reason) {
  return WriteFileWhole(
      path,
      [&list, rows](QSaveFile& file) {
        int writeError = 0;
        CCallTraceExport out([&file, &writeError](std::string_view bytes) {
          errno = 0;
          if (file.write(bytes.data(), qint64(bytes.size())) == qint64(bytes.size())) return true;
          writeError = errno;
          return false;
        });
        std::vector<bool> named;
        const int count = rows ? int(rows->size()) : list.GetCount();
        for (int i = 0; i < count; ++i) {
          const int row = rows ? (*rows)[std::size_t(i)] : i;
          const SLineStamp stamp = list.GetStamp(row);
          if (stamp.nSender >= named.size()) named.resize(stamp.nSender + 1, false);
          if (!named[stamp.nSender]) {
            named[stamp.nSender] = true;
            out.NameSender(stamp.nSender, View(list.Senders().Label(stamp.nSender)));
          }
          out.AddLine(stamp.nSender, stamp.nTime, View(list.GetOwnText(row)), stamp.nSpan);
        }
        if (out.Finish()) return true;
        errno = writeError;
        return false;
      },
      reason);
}

CCallCommands::CCallCommands(IMonitorHost& host)
    : m_host(host), m_askFileName([](QWidget* parent, const QString& title) {
        return QFileDialog::getSaveFileName(parent, title, QString(),
                                            QStringLiteral("Trace event files (*.json);;All files (*)"));
      }) {}

void CCallCommands::AddCommands(std::vector<CCommandEntry>& table) {
  using C = CCallCommands;
  table.push_back(MakeCommand(CommandId::CallStatistics, this, &C::OnCallStatistics, &C::CanLookAtCalls));
  table.push_back(MakeCommand(CommandId::ExportCalls, this, &C::OnExportCalls, &C::CanLookAtCalls));
}

bool CCallCommands::CanLookAtCalls() { return m_host.GetList().GetCount() > 0; }

std::vector<int> CCallCommands::RowsLookedAt(bool* all, QString* what) {
  const CMonitorList& list = m_host.GetList();
  const int selected = list.GetSelCount();
  *all = selected < 2;
  if (*all) {
    const int count = list.GetCount();
    *what = QStringLiteral("%1 shown %2")
                .arg(GroupedCount(count), count == 1 ? QStringLiteral("line") : QStringLiteral("lines"));
    return {};
  }
  *what = QStringLiteral("%1 selected lines").arg(GroupedCount(selected));
  return list.GetSelItems(selected);
}

void CCallCommands::OnCallStatistics() {
  bool all = true;
  QString what;
  const std::vector<int> rows = RowsLookedAt(&all, &what);
  // The lines are looked at before the table's first line joins them.
  const CCallStatistics statistics = CallStatisticsOf(m_host.GetList(), all ? nullptr : &rows);
  m_host.AppendLine(QStringLiteral("ZEFMON_CallStatistics() {"));
  for (const QString& line : CallStatisticsLines(statistics.Result(), m_host.GetList().Senders(), what))
    m_host.AppendLine(line);
  m_host.AppendLine(QStringLiteral("} ZEFMON_CallStatistics()"));
  m_host.ScrollToEnd();
}

void CCallCommands::OnExportCalls() {
  bool all = true;
  QString what;
  const std::vector<int> rows = RowsLookedAt(&all, &what);
  const QString path = m_askFileName(m_host.GetWindow(), QStringLiteral("Export the calls of the %1 as").arg(what));
  if (path.isEmpty()) return;
  QString reason;
  if (!ExportCalls(m_host.GetList(), all ? nullptr : &rows, path, &reason))
    MessageBoxFromTable(m_host.GetWindow(), ToUInt(StringId::CallsNotExported), MB_OK | MB_ICONEXCLAMATION,
                        QDir::toNativeSeparators(path), reason);
}

}  // namespace zef
