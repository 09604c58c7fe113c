// Registry calls on Windows go to the real registry, through the wide
// calls so that non-ASCII values and key names survive. Each value is
// written as it is set (the registry itself keeps writers apart); a batch
// only gathers the first failure so that the caller can say why.
#include "runtime/registry.h"

#include <utility>

// windows.h makes macros of names the runtime also defines (REG_SZ,
// HKEY_CURRENT_USER); the runtime's values are taken before it comes in.
namespace {
constexpr runtime::HKEY kRuntimeCurrentUser = runtime::HKEY_CURRENT_USER;
constexpr std::uint32_t kRuntimeRegSz = runtime::REG_SZ;
}  // namespace

#include <windows.h>

#include "runtime/win32/wide.h"

namespace {
const ::HKEY kCurrentUser = HKEY_CURRENT_USER;
constexpr DWORD kRegSz = REG_SZ;
}  // namespace

namespace runtime {
namespace {

struct Batch {
  int depth = 0;
  std::string failure;  // the first one
};
thread_local Batch batch;

void NoteFailure(const std::string& why) {
  if (batch.depth > 0 && batch.failure.empty()) batch.failure = why;
}

::HKEY Native(HKEY key) { return reinterpret_cast<::HKEY>(key); }

}  // namespace

long RegCreateKeyA(HKEY root, const char* subKey, HKEY* result) {
  if (result) *result = 0;
  if (root != kRuntimeCurrentUser || !subKey || !*subKey || !result) return ERROR_INVALID_PARAMETER;
  std::wstring name;
  if (!win32::ToWide(subKey, name)) {
    NoteFailure(std::string("the key name is not valid UTF-8: ") + subKey);
    return ERROR_INVALID_PARAMETER;
  }
  ::HKEY key = nullptr;
  const LSTATUS status = RegCreateKeyExW(kCurrentUser, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_SET_VALUE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) {
    NoteFailure("cannot create HKEY_CURRENT_USER\\" + std::string(subKey) + ": " + win32::ErrorText(status));
    return status;
  }
  *result = reinterpret_cast<HKEY>(key);
  return ERROR_SUCCESS;
}

long RegSetValueExA(HKEY key, const char* valueName, std::uint32_t, std::uint32_t type, const std::uint8_t* data,
                    std::uint32_t size) {
  if (!key) return ERROR_INVALID_HANDLE;
  if (type != kRuntimeRegSz || !valueName) return ERROR_INVALID_PARAMETER;
  // The size counts the terminating NUL; stop at the first NUL in any case.
  std::string value(reinterpret_cast<const char*>(data), data ? size : 0);
  value = value.substr(0, value.find('\0'));
  std::wstring name, text;
  if (!win32::ToWide(valueName, name) || !win32::ToWide(value, text)) {
    NoteFailure(std::string("value ") + valueName + " is not valid UTF-8");
    return ERROR_INVALID_PARAMETER;
  }
  const LSTATUS status = RegSetValueExW(Native(key), name.c_str(), 0, kRegSz, reinterpret_cast<const BYTE*>(text.c_str()),
                                        static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS) NoteFailure("cannot set " + std::string(valueName) + ": " + win32::ErrorText(status));
  return status;
}

long RegCloseKey(HKEY key) {
  if (!key) return ERROR_INVALID_HANDLE;
  return ::RegCloseKey(Native(key));
}

RegistryBatch::RegistryBatch() { ++batch.depth; }

RegistryBatch::~RegistryBatch() {
  if (--batch.depth == 0) Flush();
}

std::string RegistryBatch::Flush() { return std::exchange(batch.failure, {}); }

std::string RegistryKeyFile(const std::string&) { return {}; }

}  // namespace runtime
