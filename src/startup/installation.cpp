#include "startup/installation.h"

#include <string>

#include "runtime/app.h"
#include "startup/mod_global.h"

namespace startup {

void WriteInstallationRecord() {
  const runtime::Application& app = runtime::App();
  const std::string version =
      std::to_string(app.Major) + "." + std::to_string(app.Minor) + "." + std::to_string(app.Revision);
  runtime::HKEY root = runtime::HKEY_CURRENT_USER;
  WriteRegistryString(root, kInstallationKey, "InstallDir", app.Path);
  WriteRegistryString(root, kInstallationKey, "ExeName", app.EXEName);
  WriteRegistryString(root, kInstallationKey, "ProductName", app.ProductName);
  WriteRegistryString(root, kInstallationKey, "ProductVersion", version);
}

}  // namespace startup
