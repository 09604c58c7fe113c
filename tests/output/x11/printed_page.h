// What the private CUPS server of the tests printed: its completed jobs and
// the last page its file printer wrote, rendered by poppler.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

#include "runtime/linux/shell.h"

namespace printcheck {

using testshell::Quote;
using testshell::Shell;

inline int CompletedJobs() {
  const std::string list = Shell("lpstat -W completed -o 2>/dev/null");
  return static_cast<int>(std::count(list.begin(), list.end(), '\n'));
}

struct Page {
  int width = 0, height = 0;              // the page, in points
  int x = 0, y = 0, inkW = 0, inkH = 0;   // what was printed on it
};

// Whether the private server runs (scripts/test starts it).
inline bool Available() { return std::getenv("CUPS_SESSION_OUTPUT") != nullptr; }

// Waits until no job is pending or printing.
inline bool Idle() {
  return testshell::WaitUntil([] { return Shell("lpstat -o 2>/dev/null").empty(); }, 30);
}

// The page the test printer wrote last, once every job is done, rendered
// at 72 dpi; nothing when it did not write exactly one page.
inline std::optional<Page> LastPage() {
  const char* file = std::getenv("CUPS_SESSION_OUTPUT");
  if (!file || !Idle()) return std::nullopt;
  Page page;
  std::smatch m;
  const std::string info = Shell("pdfinfo " + Quote(file) + " 2>/dev/null");
  if (!std::regex_search(info, m, std::regex(R"(Pages:\s+1\s[\s\S]*Page size:\s+([\d.]+) x ([\d.]+))"))) return std::nullopt;
  page.width = static_cast<int>(std::lround(std::stod(m[1])));
  page.height = static_cast<int>(std::lround(std::stod(m[2])));
  std::istringstream ink(Shell("pdftoppm -r 72 -singlefile -png " + Quote(file) +
                               " | convert png:- -fuzz 3% -trim -format '%w %h %X %Y' info:"));
  ink >> page.inkW >> page.inkH >> page.x >> page.y;
  return page;
}

}  // namespace printcheck
