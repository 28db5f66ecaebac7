#include <zeftrace/trace.h>
#include <zeftrace/zeftrace.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

struct zef_trace_scope {
  explicit zef_trace_scope(const char* name) : scope(std::string_view(name ? name : "")) {}
  zef::CTraceScope scope;
};

extern "C" {

void zef_trace_line(const char* utf8_line) { zef::TraceLine(std::string_view(utf8_line ? utf8_line : "")); }

void zef_trace_line_n(const char* utf8_line, size_t length) {
  zef::TraceLine(utf8_line ? std::string_view(utf8_line, length) : std::string_view());
}

int zef_trace_monitor_found(void) { return zef::TraceMonitorFound() ? 1 : 0; }

zef_trace_scope* zef_trace_scope_begin(const char* utf8_name) { return new (std::nothrow) zef_trace_scope(utf8_name); }

void zef_trace_scope_print(zef_trace_scope* scope, const char* utf8_line) {
  if (scope) scope->scope.Print(std::string_view(utf8_line ? utf8_line : ""));
}

void zef_trace_scope_printf(zef_trace_scope* scope, const char* format, ...) {
  if (!scope || !format) return;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string line(n > 0 ? static_cast<size_t>(n) + 1 : 1, '\0');
  if (n > 0) std::vsnprintf(line.data(), line.size(), format, again);
  va_end(again);
  line.resize(n > 0 ? static_cast<size_t>(n) : 0);
  scope->scope.Print(std::string_view(line));
}

void zef_trace_scope_set_result(zef_trace_scope* scope, const char* utf8_result) {
  if (scope) scope->scope.SetResult(std::string_view(utf8_result ? utf8_result : ""));
}

void zef_trace_scope_end(zef_trace_scope* scope) { delete scope; }

}  // extern "C"
