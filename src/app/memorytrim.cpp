#include "app/memorytrim.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace zandorel::app {

void TrimWorkingSet() {
#if defined(__GLIBC__)
    malloc_trim(0); // the result only says whether anything was released
#endif
}

} // namespace zandorel::app
