#include "core/owning_thread.h"

#include <cstdio>
#include <cstdlib>

namespace vd {

void OwningThread::Fail(const char* what) {
  std::fprintf(stderr, "%s used on a thread other than the one that made it\n", what);
  std::abort();
}

}  // namespace vd
