// Resource and command ids of the program: menu 128, the string table, the
// dialog templates and their controls.
#pragma once

#include <cstdint>

namespace zef {

// A command of menu 128 (and of the find/close protocol), by its number.
enum class CommandId : std::uint32_t {
  None = 0,
  // " &! "
  ErrorLookup = 32785,
  Calculator = 32789,
  DatabaseListAll = 32796,
  DatabaseListRecords = 32797,
  DatabaseDelete = 32798,
  DatabaseDeleteRecord = 32799,
  ProcessListAll = 32805,
  ProcessTerminate = 32806,
  WindowListAll = 32807,
  WindowClose = 32808,
  AppExit = 57665,
  // "S&tress"
  Loop = 32775,
  LoopTimer = 32776,
  AbortLoopTimer = 32781,
  DivisionByZero = 32771,
  AccessViolation = 32772,
  EndlessLoop = 32773,
  UnterminatedRecursion = 32774,
  // "&Monitor"
  EntryFromBuffer = 32779,
  ViewLine = 32780,
  MarkBlock = 32783,
  UnmarkLines = 32784,
  Clear = 32778,
  Find = 32786,
  ResetNestedCalls = 32803,
  // "&Setup"
  Options = 32802,
  SetupLoop = 32777,
  SetupMonitor = 32782,
  SetupDatabase = 32800,
  LookAndFeel = 32804,
  // " &? "
  HelpContents = 57670,
  AppAbout = 57664,
};



// Resources with id 128: the main menu, the icon and the title string.
inline constexpr std::uint32_t IDR_MAINFRAME = 128;

// Message strings.
enum class StringId : std::uint32_t {
  MainFrameTitle = 128,
  ReallyQuit = 61211,
  ReallyResetNestedCalls = 61212,
  ReallyClearContent = 61213,
  SettingsNotSaved = 61230,  // %1 the settings file, %2 why it could not be written
};

constexpr std::uint32_t ToUInt(CommandId id) { return static_cast<std::uint32_t>(id); }
constexpr std::uint32_t ToUInt(StringId id) { return static_cast<std::uint32_t>(id); }

// Dialog results.
enum DialogResult : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// Message box styles (the low bits that the program uses).
enum MessageBoxStyle : std::uint32_t {
  MB_OK = 0x0,
  MB_OKCANCEL = 0x1,
  MB_YESNO = 0x4,
  MB_ICONHAND = 0x10,
  MB_ICONQUESTION = 0x20,
  MB_ICONEXCLAMATION = 0x30,
  MB_ICONASTERISK = 0x40,
};

}  // namespace zef
