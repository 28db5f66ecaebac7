// Symbol visibility of the zefstore shared library: it is built with hidden
// visibility, so only what carries ZEFSTORE_API is exported.
#ifndef ZEFSTORE_EXPORT_H
#define ZEFSTORE_EXPORT_H

#if defined(ZEFSTORE_BUILDING)
#define ZEFSTORE_API __attribute__((visibility("default")))
#else
#define ZEFSTORE_API
#endif

#endif
