#include "runtime/app.h"

#include <filesystem>

namespace runtime {

Application& App() {
  static Application app;
  return app;
}

void InitApp(int argc, char** argv) {
  Application& app = App();
  app.Command.clear();
  for (int i = 1; i < argc; ++i) {
    if (i > 1) app.Command += ' ';
    app.Command += argv[i];
  }
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) exe = std::filesystem::absolute(argc > 0 ? argv[0] : "glimmet", ec);
  app.Path = exe.parent_path().string();
  app.EXEName = exe.stem().string();
}

}  // namespace runtime
