#include "explore/databasesettingsdlg.h"

namespace zef {

namespace {
// The line lengths that OK accepts, both included.
constexpr int kMinLineLength = 32;
constexpr int kMaxLineLength = 1024;
}  // namespace

void ExchangeControls(CDataExchange& dx, CDatabaseSettings& settings) {
  DDX_Text(dx, IDC_DB_MAXLINELENGTH, settings.m_nMaxLineLength);
  DDV_MinMaxInt(dx, settings.m_nMaxLineLength, kMinLineLength, kMaxLineLength);
  DDX_Check(dx, IDC_DB_CONFIRMTWICE, settings.m_bConfirmTwice);
}

}  // namespace zef
