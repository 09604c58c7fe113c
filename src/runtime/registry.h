// Registry calls. On Linux the keys under HKEY_CURRENT_USER are plain-text
// key files under $XDG_CONFIG_HOME (default ~/.config).
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

// Where a key of HKEY_CURRENT_USER is kept on this platform (for tests and
// the README); empty where the platform has a real registry.
std::string RegistryKeyFile(const std::string& subKey);

}  // namespace runtime
