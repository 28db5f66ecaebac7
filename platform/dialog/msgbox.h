// Message boxes with the application's caption. Every box of the program
// goes through MessageBox, so one hook lets tests read and answer them.
#pragma once

#include <QString>

#include <cstdint>
#include <functional>

class QWidget;

namespace zef {

struct MessageBoxRequest {
  QString text;
  QString caption;
  std::uint32_t style = 0;  // MB_ flags of resource.h
};

// Answers with IDOK, IDCANCEL, IDYES or IDNO.
using MessageBoxHook = std::function<int(const MessageBoxRequest&)>;

// While a hook is set, boxes are not shown: the hook answers them. Returns
// the hook that was set before.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Shows a modal box (caption "ZEFMON") with `text` as plain text, never
// interpreted as markup, and returns the button chosen.
int MessageBox(QWidget* parent, const QString& text, std::uint32_t style);

// A box whose text is string `id` of the string table with %1 and %2
// replaced by `arg1` and `arg2`.
int MessageBoxFromTable(QWidget* parent, std::uint32_t id, std::uint32_t style, const QString& arg1 = {},
                        const QString& arg2 = {});

}  // namespace zef
