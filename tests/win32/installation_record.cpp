// Writes the installation record the way the program does at start-up, for
// the test that reads it back from Wine's registry with reg export, and
// prints the argument text the application object saw.
#include <cstdio>

#include "runtime/app.h"
#include "startup/installation.h"

int main(int argc, char** argv) {
  runtime::InitApp(argc, argv);
  startup::WriteInstallationRecord();
  const std::string& command = runtime::App().Command;
  std::fwrite(command.data(), 1, command.size(), stdout);
  std::fputc('\n', stdout);
  return 0;
}
