// The object store's Ce… calls moved to <zefstore/ceapi.h>; this name stays for programs that include it.
#include <zefstore/ceapi.h>
