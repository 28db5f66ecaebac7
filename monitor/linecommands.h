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

// The name quoted at the start of a line: leading spaces and double quotes
// skipped, then the text up to the next double quote; empty when there is
// no such quote. An indent of other characters is not skipped.
QString QuotedNameOf(const QString& line);

}  // namespace zef
