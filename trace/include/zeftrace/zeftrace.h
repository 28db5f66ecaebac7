/* zeftrace C API: hand trace lines to a running ZEFMON monitor.
 *
 *   #include <zeftrace/zeftrace.h>
 *
 *   int load(const char *path) {
 *     zef_trace_scope *scope = zef_trace_scope_begin("load()");  // "load() {"
 *     zef_trace_scope_printf(scope, "path=%s", path);
 *     zef_trace_scope_set_result(scope, "0");
 *     zef_trace_scope_end(scope);                                // "} load() (0)"
 *     return 0;
 *   }
 *
 * Strings are UTF-8. Link with `pkg-config --libs zeftrace` or the CMake
 * target zeftrace::zeftrace. Lines also go to standard error. */
#ifndef ZEFTRACE_ZEFTRACE_H
#define ZEFTRACE_ZEFTRACE_H

#include <stddef.h>

#if defined(ZEFTRACE_BUILDING)
#define ZEFTRACE_C_API __attribute__((visibility("default")))
#else
#define ZEFTRACE_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct zef_trace_scope zef_trace_scope;

ZEFTRACE_C_API void zef_trace_line(const char *utf8_line);
ZEFTRACE_C_API void zef_trace_line_n(const char *utf8_line, size_t length);
/* 1 when this process hands its lines to a monitor, else 0. */
ZEFTRACE_C_API int zef_trace_monitor_found(void);

/* Emits "<name> {". NULL only when out of memory; every function below
 * accepts NULL and then does nothing. */
ZEFTRACE_C_API zef_trace_scope *zef_trace_scope_begin(const char *utf8_name);
ZEFTRACE_C_API void zef_trace_scope_print(zef_trace_scope *scope, const char *utf8_line);
/* printf semantics, checked by the compiler. */
ZEFTRACE_C_API void zef_trace_scope_printf(zef_trace_scope *scope, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
ZEFTRACE_C_API void zef_trace_scope_set_result(zef_trace_scope *scope, const char *utf8_result);
/* Emits the leave line and frees the scope. */
ZEFTRACE_C_API void zef_trace_scope_end(zef_trace_scope *scope);

#ifdef __cplusplus
}
#endif

#endif
