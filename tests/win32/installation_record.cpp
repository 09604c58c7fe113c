// Writes the installation record the way the program does at start-up, for
// the test that reads it back from Wine's registry with reg export.
#include "runtime/app.h"
#include "startup/installation.h"

int main(int argc, char** argv) {
  runtime::InitApp(argc, argv);
  startup::WriteInstallationRecord();
  return 0;
}
