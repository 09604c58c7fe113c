// The application object: command line, where the program lies, and its
// version information.
#pragma once
#include <ctime>
#include <string>
#include <string_view>

namespace runtime {

struct Application {
  std::string Command;      // argument text after the program's own path
  std::string Path;         // folder of the executable, no trailing separator
  std::string EXEName;      // executable file name without extension
  std::string ProductName = "Tessakit : Glimmet";
  std::string Title = "Glimmet";
  int Major = 1, Minor = 0, Revision = 2;
};

Application& App();

// Fills App() from the process's arguments: the argument text is the
// arguments joined by single blanks, as a Windows command line would read.
void InitApp(int argc, char** argv);

// Writes text to standard error in as few writes as the system allows, so
// lines of runs sharing a terminal do not interleave; gives up quietly when
// standard error is gone.
void WriteStandardError(std::string_view text);

// The broken-down local time of t.
std::tm LocalTime(std::time_t t);

}  // namespace runtime
