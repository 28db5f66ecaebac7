// Writing to the process's standard error from inside a program that links
// the library: never raises SIGPIPE in the host, never changes its signal
// dispositions.
#pragma once

#include <string_view>

namespace zef::errout {

// Writes all of `bytes` in one go where the system allows (so lines of
// concurrent processes stay whole). When the reader of a pipe or socket has
// gone, the write fails without a signal and every later write of the
// process is skipped, silently: nobody is left to read it. False then.
bool Write(std::string_view bytes);

// Whether standard error was found gone.
bool Gone();

}  // namespace zef::errout
