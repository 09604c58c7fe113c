#include "e2e/e2e_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace e2e {
namespace {

// A hang guard only: a run that takes this long is broken, not slow.
constexpr auto kRunLimit = std::chrono::seconds(120);

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

int WaitWithGuard(pid_t pid) {
  const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "glimmet did not end and was killed";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

template <typename Predicate>
bool PollFor(std::chrono::milliseconds limit, Predicate ready) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The number after "label" in text, or nullopt.
std::optional<int> NumberAfter(const std::string& text, const std::string& label) {
  const auto at = text.find(label);
  if (at == std::string::npos) return std::nullopt;
  return std::atoi(text.c_str() + at + label.size());
}

}  // namespace

TempDir::TempDir(const std::string& tag) {
  std::string pattern = (fs::temp_directory_path() / ("glimmet-e2e-" + tag + ".XXXXXX")).string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // A test may have taken write permission away.
  for (auto& entry : fs::recursive_directory_iterator(path_, ignored))
    if (entry.is_directory(ignored)) fs::permissions(entry.path(), fs::perms::owner_all, ignored);
  fs::remove_all(path_, ignored);
}

int RunGlimmet(const std::vector<std::string>& args, const RunOptions& options) {
  std::vector<char*> argv;
  std::string program = GLIMMET_BINARY;
  argv.push_back(program.data());
  std::vector<std::string> copies = args;
  for (auto& arg : copies) argv.push_back(arg.data());
  argv.push_back(nullptr);

  // Everything the child needs is made before fork: runs happen from several
  // threads at once, and the child may only make async-signal-safe calls.
  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry)
    if (std::strncmp(*entry, "XDG_CONFIG_HOME=", 16) != 0) env.emplace_back(*entry);
  if (!options.configHome.empty()) env.push_back("XDG_CONFIG_HOME=" + options.configHome.string());
  std::vector<char*> envp;
  for (auto& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  const rlim_t sizeLimit = options.fileSizeLimit ? static_cast<rlim_t>(*options.fileSizeLimit) : RLIM_INFINITY;

  const pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (!options.cwd.empty() && chdir(options.cwd.c_str()) != 0) _exit(126);
    if (options.fileSizeLimit) {
      // Without this the first write past the limit kills the process.
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{sizeLimit, sizeLimit};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    const int devnull = open("/dev/null", O_RDONLY);
    if (devnull >= 0) dup2(devnull, STDIN_FILENO);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return WaitWithGuard(pid);
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Shell(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    if (status) *status = -1;
    return output;
  }
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) output.append(buffer.data(), n);
  const int raw = pclose(pipe);
  if (status) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return output;
}

std::string UniqueTitle(const std::string& stem) {
  static std::atomic<int> counter{0};
  return stem + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

std::ostream& operator<<(std::ostream& out, const Size& size) {
  return out << size.width << "x" << size.height;
}

Xterm::Xterm(const std::string& title, const std::string& geometry,
             const std::vector<std::string>& extraArgs)
    : title_(title) {
  std::vector<std::string> args = {"xterm", "-title", title, "-geometry", geometry};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  // Some text, so the window is not one flat colour; then wait for the kill.
  args.insert(args.end(), {"-e", "sh", "-c", "printf 'glimmet end-to-end\\n'; ls -l /; exec sleep 100000"});
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  // xterm complains about missing fonts; that is noise in a test log.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const int spawned = posix_spawnp(&pid_, "xterm", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("cannot start xterm");

  // Found by its process rather than its title: titles may hold any text.
  const std::string found = Shell("timeout 30 xdotool search --sync --onlyvisible --pid " +
                                  std::to_string(pid_) + " 2>/dev/null | head -n1");
  id_ = std::strtoul(found.c_str(), nullptr, 10);
  if (id_ == 0) throw std::runtime_error("xterm '" + title + "' did not appear");
  const std::string query = "xprop -id " + std::to_string(id_) + " _NET_FRAME_EXTENTS 2>/dev/null";
  if (!PollFor(std::chrono::seconds(10), [&] { return Shell(query).find('=') != std::string::npos; }))
    throw std::runtime_error("xterm '" + title + "' was not framed by the window manager");
}

Xterm::~Xterm() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

void Xterm::Kill() {
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
  const std::string query = "xwininfo -id " + std::to_string(id_) + " >/dev/null 2>&1";
  PollFor(std::chrono::seconds(10), [&] {
    int status = 0;
    Shell(query, &status);
    return status != 0;
  });
}

Rect Xterm::FrameRect() const {
  const std::string id = std::to_string(id_);
  const std::string info = Shell("xwininfo -id " + id);
  Rect client{NumberAfter(info, "Absolute upper-left X:").value_or(0),
              NumberAfter(info, "Absolute upper-left Y:").value_or(0),
              NumberAfter(info, "Width:").value_or(0), NumberAfter(info, "Height:").value_or(0)};
  int left = 0, right = 0, top = 0, bottom = 0;
  const std::string extents = Shell("xprop -id " + id + " _NET_FRAME_EXTENTS");
  const auto eq = extents.find('=');
  if (eq != std::string::npos)
    std::sscanf(extents.c_str() + eq + 1, " %d, %d, %d, %d", &left, &right, &top, &bottom);
  return {client.x - left, client.y - top, client.width + left + right, client.height + top + bottom};
}

Size ScreenSize() {
  const std::string info = Shell("xwininfo -root");
  return {NumberAfter(info, "Width:").value_or(0), NumberAfter(info, "Height:").value_or(0)};
}

std::optional<JpegInfo> ReadJpegInfo(const fs::path& file) {
  int status = 0;
  const std::string out = Shell(
      "identify -format '%m %w %h %[colorspace] %[jpeg:sampling-factor] %Q' " + Quote(file.string()) +
          " 2>/dev/null",
      &status);
  std::istringstream in(out);
  std::string format;
  JpegInfo info;
  if (status != 0 || !(in >> format >> info.size.width >> info.size.height >> info.colorspace >>
                       info.sampling >> info.quality) ||
      format != "JPEG")
    return std::nullopt;
  return info;
}

std::optional<BmpInfo> ReadBmpInfo(const fs::path& file) {
  const std::string data = ReadFile(file);
  if (data.size() < 54 || data.compare(0, 2, "BM") != 0) return std::nullopt;
  auto u32 = [&](size_t at) {
    std::uint32_t v;
    std::memcpy(&v, data.data() + at, 4);
    return v;
  };
  auto u16 = [&](size_t at) {
    std::uint16_t v;
    std::memcpy(&v, data.data() + at, 2);
    return v;
  };
  BmpInfo info;
  const auto height = static_cast<std::int32_t>(u32(22));
  info.size = {static_cast<int>(u32(18)), height < 0 ? -height : height};
  info.bottomUp = height > 0;
  info.bitsPerPixel = u16(28);
  const std::size_t stride = (static_cast<std::size_t>(info.size.width) * 3 + 3) / 4 * 4;
  if (u32(10) + stride * info.size.height > data.size()) return std::nullopt;  // pixels cut short
  return info;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& file, const std::string& content) {
  std::ofstream(file, std::ios::binary) << content;
}

std::vector<std::string> ListDir(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (auto& entry : fs::directory_iterator(dir, ignored)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<fs::path> FindInstallationRecord(const fs::path& configHome) {
  std::error_code ignored;
  for (auto& entry : fs::recursive_directory_iterator(configHome, ignored)) {
    if (!entry.is_regular_file(ignored)) continue;
    std::string relative = Lower(fs::relative(entry.path(), configHome).string());
    if (relative.ends_with(".ini")) relative.resize(relative.size() - 4);
    if (relative.ends_with("ostmarin/tessakit/glimmet/installation")) return entry.path();
  }
  return std::nullopt;
}

std::map<std::string, std::string> ReadRecordValues(const fs::path& file) {
  std::map<std::string, std::string> values;
  std::istringstream in(ReadFile(file));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto eq = line.find('=');
    if (eq == std::string::npos || line[0] == '[' || line[0] == '#' || line[0] == ';') continue;
    std::string name = line.substr(0, eq), value = line.substr(eq + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);
    if (values.count(name)) values["#duplicate"] = name;
    values[name] = value;
  }
  return values;
}

void E2eTest::SetUp() {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "needs an X display (scripts/test starts one)";
  config_.emplace("config");
  out_.emplace("out");
}

int E2eTest::Run(const std::vector<std::string>& args) { return RunIn(out_->path(), args); }

int E2eTest::RunIn(const fs::path& cwd, const std::vector<std::string>& args) {
  return RunGlimmet(args, {cwd, config_->path(), std::nullopt});
}

}  // namespace e2e
