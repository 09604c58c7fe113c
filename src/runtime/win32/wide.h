// The runtime speaks UTF-8; Windows speaks UTF-16 through its wide-character
// calls. Every name and text crosses here, so non-ASCII paths, captions and
// registry values work whatever the active code page.
#pragma once
#include <windows.h>

#include <string>

namespace runtime::win32 {

// Invalid UTF-8 gives false rather than a name with replacement characters
// that would then open some other file.
inline bool ToWide(const std::string& utf8, std::wstring& out) {
  out.clear();
  if (utf8.empty()) return true;
  const int size = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<std::size_t>(n));
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, out.data(), n) == n;
}

inline std::string ToUtf8(const wchar_t* wide, std::size_t length) {
  if (length == 0) return {};
  const int size = static_cast<int>(length);
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, size, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, size, out.data(), n, nullptr, nullptr);
  return out;
}

inline std::string ToUtf8(const std::wstring& wide) { return ToUtf8(wide.data(), wide.size()); }

// The system's text for a Win32 error code, in one line.
inline std::string ErrorText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = n ? ToUtf8(text, n) : std::string();
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.'))
    out.pop_back();
  if (out.empty()) out = "Windows error " + std::to_string(code);
  return out;
}

}  // namespace runtime::win32
