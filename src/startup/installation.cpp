#include "startup/installation.h"

#include <string>

#include "runtime/app.h"
#include "runtime/registry.h"
#include "startup/mod_global.h"
#include "startup/report.h"

namespace startup {

void WriteInstallationRecord() {
  const runtime::Application& app = runtime::App();
  const std::string version =
      std::to_string(app.Major) + "." + std::to_string(app.Minor) + "." + std::to_string(app.Revision);
  runtime::HKEY root = runtime::HKEY_CURRENT_USER;
  // The four values set in a row go to the key file in one locked
  // read-modify-write instead of four.
  runtime::RegistryBatch batch;
  WriteRegistryString(root, kInstallationKey, "InstallDir", app.Path);
  WriteRegistryString(root, kInstallationKey, "ExeName", app.EXEName);
  WriteRegistryString(root, kInstallationKey, "ProductName", app.ProductName);
  WriteRegistryString(root, kInstallationKey, "ProductVersion", version);
  // A record that cannot be written does not change how the run ends, but a
  // script should be able to see why it is missing.
  if (const std::string failure = batch.Flush(); !failure.empty())
    PrintWarning("installation record not written: " + failure);
}

}  // namespace startup
