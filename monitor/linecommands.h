// Text rules of the monitor's line commands, apart from the list itself.
#pragma once

#include <QString>
#include <QStringView>

namespace zef {

// The leave line that ends the call an enter line opens: trailing '{', then
// trailing spaces, then leading white space removed, "} " put in front.
// "  Foo() {" gives "} Foo()".
QString LeaveKeyOfEnterLine(QStringView enterLine);

// The enter line that opens the call a leave line ends: leading white space,
// leading '}', leading white space removed, cut after the first ')' (all of
// it when there is none), " {" appended. "} Foo() (0)" gives "Foo() {".
QString EnterKeyOfLeaveLine(QStringView leaveLine);

}  // namespace zef
