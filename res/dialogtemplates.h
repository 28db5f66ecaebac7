// The dialog templates of the program, as data: size and control positions
// in dialog units of the template's font, styles with the handheld's bit
// values. The dialog framework (platform/dialog.h) builds a dialog from one.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace zef {

enum class DialogTemplateId : std::uint32_t {
  LookAndFeel = 99,
  About = 100,
  LoopSettings = 130,
  Monitor = 131,
  ErrorLookup = 132,
  Calculator = 134,
  DatabaseSettings = 136,
  GeneralOptions = 137,
  Filters = 138,  // its body is built in code (monitor/filtersdlg.cpp)
  Sources = 139,  // its body is built in code (sources/sourcesdlg.cpp)
};

// Control ids. The same number may name different controls in different
// templates; the names say which template each belongs to.
enum DialogControlId : int {
  IDC_STATIC = -1,  // a control that is never addressed
  IDC_OK = 1,       // the dialog's OK command (also a hidden button in two templates)
  IDC_CANCEL = 2,   // Cancel or Close

  // 99 Look & Feel
  IDC_LAF_NOFULLSCREEN = 1007,
  IDC_LAF_SHOWCANCEL = 1008,
  // 100 About
  IDC_ABOUT_ICON = IDC_STATIC,
  // 130 Loop Settings
  IDC_LOOP_COUNT = 1000,
  IDC_LOOP_DELAY = 1001,
  IDC_TIMERLOOP_COUNT = 1002,
  IDC_TIMERLOOP_DELAY = 1003,
  IDC_TIMERLOOP_INTERVAL = 1004,
  // 131 Monitor
  IDC_MON_LOGTOFILE = 1006,
  IDC_MON_LOGFILE = 1007,
  IDC_MON_QUICKDRAW = 1019,
  IDC_MON_INDENT = 1023,
  IDC_MON_HISTORYLIMIT = 1025,
  IDC_MON_LOGROTATE = 1026,
  IDC_MON_LOGKEEP = 1027,
  // 132 Error Lookup
  IDC_ERR_CODE = 1008,
  IDC_ERR_TEXT = 1010,
  // 134 Calculator
  IDC_CALC_VALUE = 1012,
  IDC_CALC_RESULT = 1013,
  IDC_CALC_MENU = 1016,
  // 136 Database settings
  IDC_DB_CONFIRMTWICE = 1017,
  IDC_DB_MAXLINELENGTH = 1018,
  // 137 General options
  IDC_GEN_ASKCLOSE = 1020,
  IDC_GEN_ASKRESET = 1021,
  IDC_GEN_ASKCLEAR = 1022,
  IDC_GEN_ADJUSTSIP = 1024,
};

// Window style bits, with the handheld's values.
enum WindowStyle : std::uint32_t {
  WS_POPUP = 0x80000000u,
  WS_VISIBLE = 0x10000000u,
  WS_DISABLED = 0x08000000u,
  WS_CAPTION = 0x00C00000u,
  WS_BORDER = 0x00800000u,
  WS_SYSMENU = 0x00080000u,
  WS_TABSTOP = 0x00010000u,
  DS_MODALFRAME = 0x00000080u,
  DS_SETFONT = 0x00000040u,
  ES_AUTOHSCROLL = 0x00000080u,
  ES_READONLY = 0x00000800u,
  SS_NOPREFIX = 0x00000080u,
};

// Extended style: the shell shows an OK button in the dialog's caption.
inline constexpr std::uint32_t WS_EX_CAPTIONOKBTN = 0x80000000u;

// Every template of the program is a popup with caption, system menu and
// modal frame.
inline constexpr std::uint32_t kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
static_assert(kDialogStyle == 0x80C800C0u);

enum class ControlKind : std::uint8_t {
  PushButton,
  AutoCheckBox,
  Edit,
  GroupBox,
  Static,  // a text; "&" marks a mnemonic unless SS_NOPREFIX
  Icon,    // the caption names the icon resource
};

struct DialogControl {
  int id;
  ControlKind kind;
  std::u16string_view caption;
  short x, y, cx, cy;  // dialog units
  std::uint32_t style;
};

struct DialogTemplate {
  DialogTemplateId id;
  std::u16string_view caption;
  std::u16string_view fontName;
  int fontPointSize;
  short cx, cy;  // dialog units
  std::uint32_t style;
  std::uint32_t exStyle;
  std::span<const DialogControl> controls;

  bool HasCaptionOk() const { return (exStyle & WS_EX_CAPTIONOKBTN) != 0; }
  const DialogControl* FindControl(int controlId) const;
};

// Null for an id that is not one of the program's templates.
const DialogTemplate* FindDialogTemplate(DialogTemplateId id);

// Every template, in id order.
std::span<const DialogTemplate* const> AllDialogTemplates();

}  // namespace zef
