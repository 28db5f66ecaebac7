#include <zeftrace/zeftrace.h>

int main(void) {
  zef_trace_scope *scope = zef_trace_scope_begin("c_consumer()");
  zef_trace_scope_printf(scope, "value=%d", 7);
  zef_trace_scope_end(scope);
  return zef_trace_monitor_found();
}
