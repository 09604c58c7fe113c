#include "startup/startup.h"

#include "runtime/app.h"

namespace startup {

int Main(int argc, char** argv) {
  runtime::InitApp(argc, argv);
  return kExitOk;
}

}  // namespace startup
