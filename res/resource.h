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
  // Added after the block above was laid out: kept apart from its range.
  GoToMatchingLine = 32900,
  ShowTimeAndSender = 32901,
  TimeSincePrevious = 32902,
  // Following, and lines leaving the window: the Monitor menu and the
  // list's own menu. The two filter items are the filter bar's.
  Follow = 32920,
  SaveLinesAs = 32921,
  CopyLines = 32922,
  SelectAllLines = 32923,
  ShowOnlyThisSender = 32924,
  HideLinesLikeThis = 32925,
  // What the lines tell of the calls: the Monitor menu.
  CallStatistics = 32926,
  ExportCalls = 32927,
  // Folding calls: the list's own menu.
  FoldAllAtDepth = 32928,
  UnfoldAll = 32929,
  Filters = 32910,
  FilterBar = 32911,
  // "&Setup"
  Options = 32802,
  SetupLoop = 32777,
  SetupMonitor = 32782,
  SetupDatabase = 32800,
  LookAndFeel = 32804,
  SetupSources = 32930,
  // " &? "
  HelpContents = 57670,
  AppAbout = 57664,
  // Menu 135, the calculator's modes
  CalcDecToHex = 32790,
  CalcDecToBin = 32791,
  CalcDecToOct = 32792,
  CalcHexToDec = 32793,
  CalcBinToDec = 32794,
  CalcOctToDec = 32795,
};

// Resources with id 128: the main menu, the icon and the title string.
inline constexpr std::uint32_t IDR_MAINFRAME = 128;
// Menu 135: the calculator's ">>" popup of conversion modes.
inline constexpr std::uint32_t IDR_CALCMENU = 135;
// Menu 136: the monitor list's own menu (a right click on the list).
inline constexpr std::uint32_t IDR_LISTMENU = 136;

// Message strings.
enum class StringId : std::uint32_t {
  MainFrameTitle = 128,
  ReallyDeleteDatabase = 61207,   // %1 the name read from the selected line
  ReallyDeleteRecord = 61208,     // %1 the record's position, %2 the database's name
  ConfirmDeleteRecord = 61209,    // %1 the record's line as the store holds it now
  ConfirmDeleteDatabase = 61210,  // %1 the name as stored
  ReallyQuit = 61211,
  ReallyResetNestedCalls = 61212,
  ReallyClearContent = 61213,
  ReallyTerminateProcess = 61215,  // %1 the process id, %2 its name read from the selected line
  ReallyCloseWindow = 61216,
  SettingsNotSaved = 61230,  // %1 the settings file, %2 why it could not be written
  NoSystemMessage = 61204,
  InvalidNumber = 61205,
  CalculatorCaption = 61206,
  // Not one of the handheld's strings: a number beyond 32 bits.
  NumberOutOfRange = 61240,
  LinesNotSaved = 61241,     // %1 the file, %2 why it could not be written
  CallsNotExported = 61242,  // %1 the file, %2 why it could not be written
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
