// Symbol visibility of the zeftrace shared library: it is built with hidden
// visibility, so only what carries ZEFTRACE_API is exported.
#ifndef ZEFTRACE_EXPORT_H
#define ZEFTRACE_EXPORT_H

#if defined(ZEFTRACE_BUILDING)
#define ZEFTRACE_API __attribute__((visibility("default")))
#else
#define ZEFTRACE_API
#endif

#endif
