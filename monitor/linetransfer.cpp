#include "monitor/linetransfer.h"

#include "monitor/follow.h"
#include "monitor/monitorlist.h"
#include "platform/dialog/msgbox.h"
#include "platform/system/errors.h"
#include "res/stringtable.h"

#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QSaveFile>
#include <QShortcut>

#include <cerrno>
#include <numeric>

namespace zef {
namespace {

// Every row, or the selected ones when any are.
std::vector<int> RowsToSave(const CMonitorList& list, bool* selectedOnly) {
  const int selected = list.GetSelCount();
  *selectedOnly = selected > 0;
  if (*selectedOnly) return list.GetSelItems(selected);
  std::vector<int> rows(std::size_t(list.GetCount()));
  std::iota(rows.begin(), rows.end(), 0);
  return rows;
}

// Why the last file operation failed: the system's text for errno when it
// left one, the file's own account otherwise.
QString FileProblem(const QSaveFile& file, int code) {
  QString text;
  if (code != 0 && FormatMessage(std::uint32_t(code), &text) > 0) return text;
  return file.errorString();
}

}  // namespace

void AppendShownLine(const CMonitorList& list, int index, QString& out) {
  if (list.Gutter() != CMonitorList::EGutter::kOff) {
    for (const QString& column : list.GutterTexts(index)) {
      out += column;
      out += u'\t';
    }
  }
  out += list.GetText(index);
}

QString ShownLines(const CMonitorList& list, const std::vector<int>& rows) {
  QString text;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (i > 0) text += u'\n';
    AppendShownLine(list, rows[i], text);
  }
  return text;
}

bool WriteFileWhole(const QString& path, const std::function<bool(QSaveFile& file)>& write, QString* reason) {
  QSaveFile file(path);
  errno = 0;
  if (!file.open(QIODevice::WriteOnly)) {
    if (reason) *reason = FileProblem(file, errno);
    return false;
  }
  errno = 0;
  if (write(file) && file.error() == QFileDevice::NoError) {
    errno = 0;
    if (file.commit()) return true;
    if (reason) *reason = FileProblem(file, errno);
    return false;
  }
  const int writeError = errno;
  file.cancelWriting();
  if (reason) *reason = FileProblem(file, writeError);
  return false;
}

bool SaveShownLines(const CMonitorList& list, const std::vector<int>& rows, const QString& path, QString* reason) {
  return WriteFileWhole(
      path,
      [&list, &rows](QSaveFile& file) {
        // Written in blocks: one conversion per block, not per line, and
        // never the whole text in memory at once.
        constexpr std::size_t kBlock = 4096;
        QString block;
        for (std::size_t i = 0; i < rows.size(); ++i) {
          AppendShownLine(list, rows[i], block);
          block += u'\n';
          if ((i + 1) % kBlock == 0 || i + 1 == rows.size()) {
            errno = 0;
            if (file.write(block.toUtf8()) < 0) return false;
            block.clear();
          }
        }
        return true;
      },
      reason);
}

CLineTransfer::CLineTransfer(IMonitorHost& host)
    : m_host(host), m_askFileName([](QWidget* parent, const QString& title) {
        return QFileDialog::getSaveFileName(parent, title, QString(),
                                            QStringLiteral("Text files (*.txt *.log);;All files (*)"));
      }) {
  // Keys of the list, not of the window: elsewhere (a dialog's field) they
  // keep their own meaning.
  CMonitorList& list = host.GetList();
  const auto bind = [this, &list](const QKeySequence& key, void (CLineTransfer::*run)(), bool (CLineTransfer::*can)()) {
    auto* shortcut = new QShortcut(key, &list);
    shortcut->setContext(Qt::WidgetShortcut);
    QObject::connect(shortcut, &QShortcut::activated, &list, [this, run, can] {
      if ((this->*can)()) (this->*run)();
    });
  };
  bind(QKeySequence::SelectAll, &CLineTransfer::OnSelectAll, &CLineTransfer::CanSelectAll);
  bind(QKeySequence::Copy, &CLineTransfer::OnCopy, &CLineTransfer::CanCopy);
}

void CLineTransfer::AddCommands(std::vector<CCommandEntry>& table) {
  using C = CLineTransfer;
  table.push_back(MakeCommand(CommandId::CopyLines, this, &C::OnCopy, &C::CanCopy));
  table.push_back(MakeCommand(CommandId::SelectAllLines, this, &C::OnSelectAll, &C::CanSelectAll));
  // Always enabled, so that its key works whatever the menu last showed.
  table.push_back(MakeCommand(CommandId::SaveLinesAs, this, &C::OnSaveLinesAs));
}

bool CLineTransfer::CanCopy() { return m_host.GetList().GetSelCount() > 0; }

bool CLineTransfer::CanSelectAll() { return m_host.GetList().GetCount() > 0; }

void CLineTransfer::OnSelectAll() { m_host.GetList().SetSel(true, -1); }

void CLineTransfer::OnCopy() {
  const CMonitorList& list = m_host.GetList();
  QGuiApplication::clipboard()->setText(ShownLines(list, list.GetSelItems(list.GetSelCount())));
}

void CLineTransfer::OnSaveLinesAs() {
  const CMonitorList& list = m_host.GetList();
  bool selectedOnly = false;
  const std::vector<int> rows = RowsToSave(list, &selectedOnly);
  const QString count = GroupedCount(qint64(rows.size()));
  const QString lines = rows.size() == 1 ? QStringLiteral("line") : QStringLiteral("lines");
  const QString title = selectedOnly ? QStringLiteral("Save the %1 selected %2 as").arg(count, lines)
                                     : QStringLiteral("Save all %1 shown %2 as").arg(count, lines);
  const QString path = m_askFileName(m_host.GetWindow(), title);
  if (path.isEmpty()) return;
  QString reason;
  if (!SaveShownLines(list, rows, path, &reason))
    MessageBoxFromTable(m_host.GetWindow(), ToUInt(StringId::LinesNotSaved), MB_OK | MB_ICONEXCLAMATION,
                        QDir::toNativeSeparators(path), reason);
}

}  // namespace zef
