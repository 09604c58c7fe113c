// Registry calls. On Linux the keys under HKEY_CURRENT_USER are plain-text
// key files under $XDG_CONFIG_HOME (default ~/.config, the home folder
// taken from the password database when HOME is unset).
#pragma once
#include <cstdint>
#include <string>

#include "runtime/types.h"

namespace runtime {

using HKEY = HANDLE;

long RegCreateKeyA(HKEY root, const char* subKey, HKEY* result);
long RegSetValueExA(HKEY key, const char* valueName, std::uint32_t reserved, std::uint32_t type,
                    const std::uint8_t* data, std::uint32_t size);
long RegCloseKey(HKEY key);

// While one lives, the values set on this thread are collected and written
// at Flush() (or at the end of its scope) in one locked read-modify-write
// per key file, instead of one for each value.
class RegistryBatch {
 public:
  RegistryBatch();
  ~RegistryBatch();
  RegistryBatch(const RegistryBatch&) = delete;
  RegistryBatch& operator=(const RegistryBatch&) = delete;
  // Writes what was collected. Returns why a value was not written, in one
  // line, or "" when every value was; the calls themselves report nothing.
  std::string Flush();
};

// Where a key of HKEY_CURRENT_USER is kept on this platform (for tests and
// the README); empty where the platform has a real registry.
std::string RegistryKeyFile(const std::string& subKey);

}  // namespace runtime
