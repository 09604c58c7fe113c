#include "runtime/platform.h"
#include "runtime/user32.h"

namespace runtime {

bool HasDisplay() { return platform::Connect(); }

}  // namespace runtime
