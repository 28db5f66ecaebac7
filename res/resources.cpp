#include "res/resources.h"

#include <QtCore/qresource.h>

static void InitResourcesOutsideNamespace() { Q_INIT_RESOURCE(res); }

namespace zef {
void InitResources() { InitResourcesOutsideNamespace(); }
}  // namespace zef
