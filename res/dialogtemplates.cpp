#include "res/dialogtemplates.h"

#include <array>

namespace zef {
namespace {

constexpr std::uint32_t kCheck = WS_VISIBLE | WS_TABSTOP;
constexpr std::uint32_t kEdit = WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL;
constexpr std::uint32_t kButton = WS_VISIBLE | WS_TABSTOP;
constexpr std::uint32_t kText = WS_VISIBLE;
// The hidden button whose id is the dialog's OK command: Enter and the
// caption's "ok" send it.
constexpr std::uint32_t kHiddenOk = WS_TABSTOP;

using K = ControlKind;

constexpr std::array kLookAndFeel{
    DialogControl{IDC_LAF_NOFULLSCREEN, K::AutoCheckBox, u"&No full screen dialogs", 6, 5, 100, 10, kCheck},
    DialogControl{IDC_LAF_SHOWCANCEL, K::AutoCheckBox, u"&Show cancel button", 6, 20, 100, 10, kCheck},
    DialogControl{IDC_CANCEL, K::PushButton, u"Cancel", 30, 250, 50, 14, kButton},
};

constexpr std::array kAbout{
    DialogControl{IDC_ABOUT_ICON, K::Icon, u"128", 5, 21, 20, 20, kText},
    DialogControl{IDC_STATIC, K::Static, u"ZEF Debugging Tool 3.3 ", 5, 5, 142, 8, kText | SS_NOPREFIX},
};

constexpr std::array kLoopSettings{
    DialogControl{IDC_STATIC, K::GroupBox, u"Loop", 4, 2, 99, 46, kText},
    DialogControl{IDC_STATIC, K::Static, u"Count:", 10, 15, 28, 8, kText},
    DialogControl{IDC_LOOP_COUNT, K::Edit, u"", 40, 13, 56, 14, kEdit},
    DialogControl{IDC_STATIC, K::Static, u"Delay:", 10, 31, 28, 8, kText},
    DialogControl{IDC_LOOP_DELAY, K::Edit, u"", 40, 29, 56, 14, kEdit},
    DialogControl{IDC_STATIC, K::GroupBox, u"Loop (WM_TIMER)", 4, 51, 99, 62, kText},
    DialogControl{IDC_STATIC, K::Static, u"Count:", 10, 64, 28, 8, kText},
    DialogControl{IDC_TIMERLOOP_COUNT, K::Edit, u"", 40, 62, 56, 14, kEdit},
    DialogControl{IDC_STATIC, K::Static, u"Delay:", 10, 80, 28, 8, kText},
    DialogControl{IDC_TIMERLOOP_DELAY, K::Edit, u"", 40, 78, 56, 14, kEdit},
    DialogControl{IDC_STATIC, K::Static, u"Timer:", 10, 96, 28, 8, kText},
    DialogControl{IDC_TIMERLOOP_INTERVAL, K::Edit, u"", 40, 94, 56, 14, kEdit},
    DialogControl{IDC_CANCEL, K::PushButton, u"&Cancel", 34, 228, 50, 14, kButton},
};

constexpr std::array kMonitor{
    DialogControl{IDC_MON_LOGTOFILE, K::AutoCheckBox, u"&Log to file", 11, 13, 81, 10, kCheck},
    DialogControl{IDC_MON_LOGFILE, K::Edit, u"", 11, 27, 86, 14, kEdit},
    DialogControl{IDC_STATIC, K::GroupBox, u"Log file", 5, 1, 99, 47, kText},
    DialogControl{IDC_MON_INDENT, K::Edit, u"", 11, 62, 44, 14, kEdit},
    DialogControl{IDC_STATIC, K::GroupBox, u"Indent characters", 5, 50, 99, 33, kText},
    DialogControl{IDC_MON_QUICKDRAW, K::AutoCheckBox, u"&Quick draw", 7, 86, 51, 10, kCheck},
    DialogControl{IDC_STATIC, K::Static, u"Keep &MB of lines:", 7, 103, 60, 8, kText},
    DialogControl{IDC_MON_HISTORYLIMIT, K::Edit, u"", 68, 100, 36, 14, kEdit},
    DialogControl{IDC_STATIC, K::Static, u"New log at M&B:", 7, 119, 60, 8, kText},
    DialogControl{IDC_MON_LOGROTATE, K::Edit, u"", 68, 116, 36, 14, kEdit},
    DialogControl{IDC_STATIC, K::Static, u"Old logs &kept:", 7, 135, 60, 8, kText},
    DialogControl{IDC_MON_LOGKEEP, K::Edit, u"", 68, 132, 36, 14, kEdit},
    DialogControl{IDC_CANCEL, K::PushButton, u"&Cancel", 29, 232, 50, 14, kButton},
};

constexpr std::array kErrorLookup{
    DialogControl{IDC_STATIC, K::Static, u"&Error:", 4, 6, 23, 8, kText},
    DialogControl{IDC_ERR_CODE, K::Edit, u"", 28, 3, 40, 14, kEdit},
    DialogControl{IDC_CANCEL, K::PushButton, u"&Close", 71, 3, 28, 14, kButton},
    DialogControl{IDC_ERR_TEXT, K::Static, u"", 4, 20, 98, 52, kText | WS_BORDER},
    DialogControl{IDC_OK, K::PushButton, u"ok", 4, 58, 20, 14, kHiddenOk},
};

constexpr std::array kCalculator{
    DialogControl{IDC_OK, K::PushButton, u"ok", 4, 38, 20, 14, kHiddenOk},
    DialogControl{IDC_STATIC, K::Static, u"&Value:", 4, 6, 25, 8, kText},
    DialogControl{IDC_CALC_VALUE, K::Edit, u"", 30, 3, 52, 14, kEdit},
    DialogControl{IDC_CALC_RESULT, K::Edit, u"", 30, 20, 72, 14, kEdit | ES_READONLY},
    DialogControl{IDC_STATIC, K::Static, u"&Result:", 4, 23, 25, 8, kText},
    DialogControl{IDC_CALC_MENU, K::PushButton, u">>", 85, 3, 17, 14, kButton},
    DialogControl{IDC_CANCEL, K::PushButton, u"&Close", 28, 38, 50, 14, kButton},
};

constexpr std::array kDatabaseSettings{
    DialogControl{IDC_DB_CONFIRMTWICE, K::AutoCheckBox, u"Security twice confirmation", 5, 4, 99, 10, kCheck},
    DialogControl{IDC_STATIC, K::Static, u"Max. line length: ", 5, 20, 56, 8, kText},
    DialogControl{IDC_DB_MAXLINELENGTH, K::Edit, u"", 66, 17, 36, 14, kEdit},
    DialogControl{IDC_CANCEL, K::PushButton, u"&Cancel", 29, 240, 50, 14, kButton},
};

constexpr std::array kGeneralOptions{
    DialogControl{IDC_GEN_ASKCLOSE, K::AutoCheckBox, u"Ask before close &ZEFMON", 4, 4, 94, 10, kCheck},
    DialogControl{IDC_GEN_ASKRESET, K::AutoCheckBox, u"Ask before &reset nested calls", 4, 19, 111, 10, kCheck},
    DialogControl{IDC_GEN_ASKCLEAR, K::AutoCheckBox, u"Ask before &clear monitor content", 4, 33, 121, 10, kCheck},
    DialogControl{IDC_GEN_ADJUSTSIP, K::AutoCheckBox, u"Adjust monitor if showing IME", 4, 47, 119, 10, kCheck},
    DialogControl{IDC_CANCEL, K::PushButton, u"&Cancel", 39, 240, 50, 14, kButton},
};

constexpr std::array kFilters{
    DialogControl{IDC_CANCEL, K::PushButton, u"&Cancel", 75, 232, 50, 14, kButton},
};

constexpr std::array kSources{
    DialogControl{IDC_CANCEL, K::PushButton, u"&Cancel", 75, 232, 50, 14, kButton},
};

constexpr std::u16string_view kSystem = u"System";
using T = DialogTemplateId;

const std::array<DialogTemplate, 10> kTemplates{{
    {T::LookAndFeel, u"Look & Feel", kSystem, 8, 111, 35, kDialogStyle, WS_EX_CAPTIONOKBTN, kLookAndFeel},
    {T::About, u"About ZEFMON", u"Tahoma", 8, 148, 76, kDialogStyle, 0, kAbout},
    {T::LoopSettings, u"Loop Settings", kSystem, 8, 107, 115, kDialogStyle, WS_EX_CAPTIONOKBTN, kLoopSettings},
    {T::Monitor, u"Monitor", kSystem, 8, 107, 150, kDialogStyle, WS_EX_CAPTIONOKBTN, kMonitor},
    {T::ErrorLookup, u"Error Lookup", kSystem, 8, 106, 75, kDialogStyle, WS_EX_CAPTIONOKBTN, kErrorLookup},
    {T::Calculator, u"Calculator", kSystem, 8, 106, 55, kDialogStyle, WS_EX_CAPTIONOKBTN, kCalculator},
    {T::DatabaseSettings, u"Database settings", kSystem, 8, 109, 37, kDialogStyle, WS_EX_CAPTIONOKBTN,
     kDatabaseSettings},
    {T::GeneralOptions, u"General options", kSystem, 8, 129, 60, kDialogStyle, WS_EX_CAPTIONOKBTN, kGeneralOptions},
    {T::Filters, u"Filters", kSystem, 8, 200, 150, kDialogStyle, WS_EX_CAPTIONOKBTN, kFilters},
    {T::Sources, u"Sources", kSystem, 8, 220, 150, kDialogStyle, WS_EX_CAPTIONOKBTN, kSources},
}};

const std::array<const DialogTemplate*, 10> kTemplateList{
    &kTemplates[0], &kTemplates[1], &kTemplates[2], &kTemplates[3], &kTemplates[4],
    &kTemplates[5], &kTemplates[6], &kTemplates[7], &kTemplates[8], &kTemplates[9]};

}  // namespace

const DialogControl* DialogTemplate::FindControl(int controlId) const {
  if (controlId == IDC_STATIC) return nullptr;
  for (const DialogControl& control : controls) {
    if (control.id == controlId) return &control;
  }
  return nullptr;
}

const DialogTemplate* FindDialogTemplate(DialogTemplateId id) {
  for (const DialogTemplate& dialogTemplate : kTemplates) {
    if (dialogTemplate.id == id) return &dialogTemplate;
  }
  return nullptr;
}

std::span<const DialogTemplate* const> AllDialogTemplates() { return kTemplateList; }

}  // namespace zef
