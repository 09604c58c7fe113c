// The registry calls of the Windows build reach Wine's real registry, and
// non-ASCII values survive the way through UTF-8 and the wide calls.
// The runtime's header comes first: windows.h makes macros of some of its
// names (REG_SZ, HKEY_CURRENT_USER).
#include "runtime/registry.h"

#include <windows.h>

#include <string>

#include "win32_util.h"

namespace {

const wchar_t kTestKey[] = L"software\\ostmarin\\Tessakit\\GlimmetTest";

std::wstring ReadValue(const std::wstring& key, const std::wstring& name) {
  wchar_t buffer[512] = {};
  DWORD size = sizeof buffer;
  const LSTATUS status =
      RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buffer, &size);
  return status == ERROR_SUCCESS ? std::wstring(buffer) : L"<missing>";
}

}  // namespace

TEST(Win32Registry, SetsStringValuesThroughTheWideCalls) {
  RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
  runtime::RegistryBatch batch;
  runtime::HKEY key = 0;
  // The runtime's own root value is the real HKEY_CURRENT_USER.
  ASSERT_EQ(runtime::RegCreateKeyA(static_cast<runtime::HKEY>(static_cast<LONG>(0x80000001)),
                                   "software\\ostmarin\\Tessakit\\GlimmetTest\\Ordner \xC3\xBC", &key),
            ERROR_SUCCESS);
  const std::string value = "C:\\Programme\\Gl\xC3\xAEmmet \xE2\x82\xAC";
  ASSERT_EQ(runtime::RegSetValueExA(key, "InstallDir", 0, 1, reinterpret_cast<const std::uint8_t*>(value.c_str()),
                                    static_cast<std::uint32_t>(value.size() + 1)),
            ERROR_SUCCESS);
  // The size counts the NUL, and nothing after a NUL is kept.
  const char withNul[] = "one\0two";
  ASSERT_EQ(runtime::RegSetValueExA(key, "Cut", 0, 1, reinterpret_cast<const std::uint8_t*>(withNul), sizeof withNul),
            ERROR_SUCCESS);
  EXPECT_EQ(runtime::RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(batch.Flush(), "");

  const std::wstring sub = std::wstring(kTestKey) + L"\\Ordner \u00FC";
  EXPECT_EQ(ReadValue(sub, L"InstallDir"), L"C:\\Programme\\Gl\u00EEmmet \u20AC");
  EXPECT_EQ(ReadValue(sub, L"Cut"), L"one");
  RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey);
}

TEST(Win32Registry, RefusesWhatItCannotWriteAndTheBatchSaysWhy) {
  runtime::RegistryBatch batch;
  runtime::HKEY key = 0;
  EXPECT_NE(runtime::RegCreateKeyA(0x1234, "software\\x", &key), ERROR_SUCCESS);  // not HKEY_CURRENT_USER
  EXPECT_EQ(key, 0);
  EXPECT_NE(runtime::RegCreateKeyA(static_cast<runtime::HKEY>(static_cast<LONG>(0x80000001)), "software\\bad\xFF", &key),
            ERROR_SUCCESS);
  EXPECT_NE(batch.Flush().find("UTF-8"), std::string::npos);
  EXPECT_EQ(batch.Flush(), "") << "Flush hands each failure over once";
  EXPECT_NE(runtime::RegSetValueExA(0, "x", 0, 1, nullptr, 0), ERROR_SUCCESS);
}
