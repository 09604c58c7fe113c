// The application object on Windows: the arguments come from the wide
// command line, so non-ASCII arguments arrive whatever the code page, and
// the program's place from the module's own path.
#include "runtime/app.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "runtime/win32/wide.h"

namespace runtime {

Application& App() {
  static Application app;
  return app;
}

void InitApp(int argc, char** argv) {
  // The reasons and any other output go out byte for byte as on Linux: a
  // text-mode descriptor would turn every newline into CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  Application& app = App();
  app.Command.clear();
  int count = 0;
  if (wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) {
      if (i > 1) app.Command += ' ';
      app.Command += win32::ToUtf8(args[i], wcslen(args[i]));
    }
    LocalFree(args);
  } else {
    for (int i = 1; i < argc; ++i) {
      if (i > 1) app.Command += ' ';
      app.Command += argv[i];
    }
  }
  // The module path can be longer than MAX_PATH; grow until it fits.
  std::wstring exe(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (n == 0) {
      exe.clear();
      break;
    }
    if (n < exe.size()) {
      exe.resize(n);
      break;
    }
    exe.resize(exe.size() * 2);
  }
  const auto slash = exe.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash);
  std::wstring name = slash == std::wstring::npos ? exe : exe.substr(slash + 1);
  if (const auto dot = name.rfind(L'.'); dot != std::wstring::npos && dot > 0) name.resize(dot);
  app.Path = win32::ToUtf8(folder);
  app.EXEName = win32::ToUtf8(name);
}

void WriteStandardError(std::string_view text) {
  // Binary mode (InitApp), so the bytes go out as on Linux.
  for (std::size_t done = 0; done < text.size();) {
    const int n = _write(_fileno(stderr), text.data() + done, static_cast<unsigned>(text.size() - done));
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

std::tm LocalTime(std::time_t t) {
  std::tm local{};
  localtime_s(&local, &t);
  return local;
}

}  // namespace runtime
