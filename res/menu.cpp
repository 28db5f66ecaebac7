#include "res/menu.h"

namespace zef {
namespace {

MenuItem Cmd(const char16_t* caption, CommandId id) {
  return {MenuItem::Kind::Command, QString::fromUtf16(caption), id, {}, {}, false};
}
MenuItem Key(const char16_t* caption, CommandId id, const char16_t* shortcut) {
  return {MenuItem::Kind::Command, QString::fromUtf16(caption), id, {}, QString::fromUtf16(shortcut), false};
}
MenuItem Check(const char16_t* caption, CommandId id) {
  return {MenuItem::Kind::Command, QString::fromUtf16(caption), id, {}, {}, true};
}
MenuItem Sep() { return {MenuItem::Kind::Separator, {}, CommandId::None, {}, {}, false}; }
MenuItem Popup(const char16_t* caption, std::vector<MenuItem> items) {
  return {MenuItem::Kind::Popup, QString::fromUtf16(caption), CommandId::None, std::move(items), {}, false};
}

void Collect(const std::vector<MenuItem>& items, std::vector<CommandId>& out) {
  for (const MenuItem& item : items) {
    if (item.kind == MenuItem::Kind::Command) out.push_back(item.id);
    Collect(item.items, out);
  }
}

}  // namespace

const std::vector<MenuItem>& MainMenu() {
  using C = CommandId;
  static const std::vector<MenuItem> menu = {
      Popup(u" &! ",
            {
                Cmd(u"&Error Lookup...", C::ErrorLookup),
                Cmd(u"&Calculator...", C::Calculator),
                Popup(u"Database",
                      {
                          Cmd(u"List &all", C::DatabaseListAll),
                          Cmd(u"List &records", C::DatabaseListRecords),
                          Sep(),
                          Cmd(u"D&elete database", C::DatabaseDelete),
                          Cmd(u"&Delete record", C::DatabaseDeleteRecord),
                      }),
                Popup(u"&Processes",
                      {
                          Cmd(u"List &all", C::ProcessListAll),
                          Cmd(u"&Terminate process", C::ProcessTerminate),
                      }),
                Popup(u"&Windows",
                      {
                          Cmd(u"List &all", C::WindowListAll),
                          Cmd(u"&Close window", C::WindowClose),
                      }),
                Sep(),
                Cmd(u"E&xit", C::AppExit),
            }),
      Popup(u"S&tress",
            {
                Cmd(u"&Loop", C::Loop),
                Cmd(u"Loop (WM_TIMER)", C::LoopTimer),
                Cmd(u"Abort Loop (WM_Timer)", C::AbortLoopTimer),
                Sep(),
                Popup(u"&ZEF",
                      {
                          Cmd(u"division by zero", C::DivisionByZero),
                          Cmd(u"access violation", C::AccessViolation),
                          Sep(),
                          Cmd(u"endless loop", C::EndlessLoop),
                          Cmd(u"unterminated recursion", C::UnterminatedRecursion),
                      }),
            }),
      Popup(u"&Monitor",
            {
                Cmd(u"Entry from Buffer", C::EntryFromBuffer),
                Cmd(u"&View Line", C::ViewLine),
                Sep(),
                Cmd(u"&Mark Block", C::MarkBlock),
                Cmd(u"&Unmark Lines", C::UnmarkLines),
                Sep(),
                Cmd(u"&Clear", C::Clear),
                Cmd(u"&Find...", C::Find),
                Key(u"Filter &bar", C::FilterBar, u"Ctrl+L"),
                Cmd(u"Fi&lters...", C::Filters),
                Sep(),
                Cmd(u"Reset &nested calls", C::ResetNestedCalls),
                Sep(),
                Key(u"&Go to matching line", C::GoToMatchingLine, u"Ctrl+]"),
                Cmd(u"Call stat&istics", C::CallStatistics),
                Cmd(u"E&xport calls...", C::ExportCalls),
                Sep(),
                Check(u"Show &time and sender", C::ShowTimeAndSender),
                Check(u"Time since &previous line", C::TimeSincePrevious),
                Sep(),
                Check(u"F&ollow new lines", C::Follow),
                Key(u"&Save lines as...", C::SaveLinesAs, u"Ctrl+S"),
            }),
      Popup(u"&Setup",
            {
                Cmd(u"&Options...", C::Options),
                Sep(),
                Cmd(u"&Loop...", C::SetupLoop),
                Cmd(u"&Monitor...", C::SetupMonitor),
                Cmd(u"&Database...", C::SetupDatabase),
                Cmd(u"S&ources...", C::SetupSources),
                Sep(),
                Cmd(u"&Look && Feel...", C::LookAndFeel),
            }),
      Popup(u" &? ",
            {
                Cmd(u"&Contents", C::HelpContents),
                Cmd(u"&About ZEFMON", C::AppAbout),
            }),
  };
  return menu;
}

namespace {

// The menu items say " --> ", the calculator's captions "->": two texts.
const std::vector<MenuItem>& CalculatorMenu() {
  using C = CommandId;
  static const std::vector<MenuItem> menu = {
      Popup(u">>",
            {
                Cmd(u"Dec --> Hex", C::CalcDecToHex),
                Cmd(u"Dec --> Bin", C::CalcDecToBin),
                Cmd(u"Dec --> Oct", C::CalcDecToOct),
                Sep(),
                Cmd(u"Hex --> Dec", C::CalcHexToDec),
                Cmd(u"Bin --> Dec", C::CalcBinToDec),
                Cmd(u"Oct --> Dec", C::CalcOctToDec),
            }),
  };
  return menu;
}

// The monitor list's own menu: one popup, opened at the pointer.
const std::vector<MenuItem>& ListMenu() {
  using C = CommandId;
  static const std::vector<MenuItem> menu = {
      Popup(u"List",
            {
                Key(u"&Copy", C::CopyLines, u"Ctrl+C"),
                Key(u"Select &all", C::SelectAllLines, u"Ctrl+A"),
                Cmd(u"&Save lines as...", C::SaveLinesAs),
                Sep(),
                Cmd(u"Show only this s&ender", C::ShowOnlyThisSender),
                Cmd(u"&Hide lines like this", C::HideLinesLikeThis),
                Sep(),
                Cmd(u"&Go to matching line", C::GoToMatchingLine),
                Sep(),
                Cmd(u"&Fold all calls at this depth", C::FoldAllAtDepth),
                Cmd(u"&Unfold all", C::UnfoldAll),
            }),
  };
  return menu;
}

}  // namespace

const std::vector<MenuItem>* FindMenuResource(std::uint32_t id) {
  switch (id) {
    case IDR_MAINFRAME:
      return &MainMenu();
    case IDR_CALCMENU:
      return &CalculatorMenu();
    case IDR_LISTMENU:
      return &ListMenu();
    default:
      return nullptr;
  }
}

std::vector<CommandId> MenuCommandIds(std::uint32_t id) {
  std::vector<CommandId> ids;
  if (const std::vector<MenuItem>* menu = FindMenuResource(id)) Collect(*menu, ids);
  return ids;
}

}  // namespace zef
