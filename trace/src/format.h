// One printf conversion of one value, for PrintF and the C API's printf.
#pragma once

#include <zeftrace/trace.h>

#include <string>

namespace zef::detail {

// `flags` holds the flags, width and precision of the conversion (no '*');
// a conversion letter that does not fit the value's kind is replaced by the
// natural one.
std::string FormatValue(std::string flags, char conversion, const SFormatValue& value);

}  // namespace zef::detail
