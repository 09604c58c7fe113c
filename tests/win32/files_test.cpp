// The safe file writer on Windows, on Wine's real file system: replacing
// keeps what the old file had, a failed write leaves it alone, devices are
// written into, and every failure is a run-time error naming the path.
#include <windows.h>

#include <algorithm>
#include <string>

#include "runtime/fileio.h"
#include "win32_util.h"

using runtime::RuntimeError;
using runtime::WriteFileSafely;
using win32test::ReadAll;
using win32test::TempFolder;

namespace {

void WriteText(const std::string& path, const std::string& text, const runtime::WriteOptions& options = {}) {
  WriteFileSafely(path, [&](runtime::FileSink& out) { out.Write(text.data(), text.size()); }, options);
}

std::string Text(const std::string& path) {
  const auto bytes = ReadAll(path);
  return {bytes.begin(), bytes.end()};
}

std::wstring Wide(const std::string& s) { return win32test::FromUtf8(s).wstring(); }

// The error WriteText raises, or number 0 when it raises none.
RuntimeError Failure(const std::string& path) {
  try {
    WriteText(path, "new");
  } catch (const RuntimeError& e) {
    return e;
  }
  return RuntimeError(0, "");
}

}  // namespace

TEST(Win32Files, WritesNewFilesAndLargeOnesUnderNonAsciiNames) {
  TempFolder dir;
  const std::string file = dir / "Bild \xE2\x80\x93 \xC3\x84rger.txt";
  WriteText(file, "hello");
  EXPECT_EQ(Text(file), "hello");

  // More than the sink's buffer, in odd-sized pieces and one large block.
  std::string big(3'000'001, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 1000);
  WriteFileSafely(file, [&](runtime::FileSink& out) {
    out.Write(big.data(), 1000);
    out.Write(big.data() + 1000, 999'000);
    out.Write(big.data() + 1'000'000, big.size() - 1'000'000);
  });
  const std::string back = Text(file);
  ASSERT_EQ(back.size(), big.size());
  const auto differ = std::mismatch(back.begin(), back.end(), big.begin());
  EXPECT_TRUE(differ.first == back.end()) << "first difference at byte " << (differ.first - back.begin());
  EXPECT_EQ(win32test::Names(dir.path()).size(), 1u) << "a temporary file was left behind";
}

// The creation time is set too, but Wine on Linux cannot keep one apart
// from the write time, so only the times Wine stores are checked.
TEST(Win32Files, ReplacingKeepsAttributesAndAskedForTimes) {
  TempFolder dir;
  const std::string file = dir / "kept.txt";
  WriteText(file, "old");
  const std::wstring name = Wide(file);
  ASSERT_TRUE(SetFileAttributesW(name.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  HANDLE h = CreateFileW(name.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  // 2001-02-03 04:05:06 UTC and a day later, in 100 ns since 1601.
  FILETIME accessed{}, written{};
  const ULONGLONG t1 = 126254595060000000ull, t2 = t1 + 864000000000ull;
  accessed.dwLowDateTime = static_cast<DWORD>(t1), accessed.dwHighDateTime = static_cast<DWORD>(t1 >> 32);
  written.dwLowDateTime = static_cast<DWORD>(t2), written.dwHighDateTime = static_cast<DWORD>(t2 >> 32);
  ASSERT_TRUE(SetFileTime(h, nullptr, &accessed, &written));
  CloseHandle(h);

  auto info = [&] {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &data));
    return data;
  };
  auto ticks = [](const FILETIME& f) { return (ULONGLONG(f.dwHighDateTime) << 32) | f.dwLowDateTime; };

  WriteText(file, "new and longer", {.keepTimes = true});
  // Looked at before the contents are read, which may set the access time.
  WIN32_FILE_ATTRIBUTE_DATA kept = info();
  EXPECT_TRUE(kept.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(ticks(kept.ftLastAccessTime), t1);
  EXPECT_EQ(ticks(kept.ftLastWriteTime), t2);
  EXPECT_EQ(Text(file), "new and longer");

  // Without keepTimes the write time is the time of the write.
  WriteText(file, "newest");
  EXPECT_GT(ticks(info().ftLastWriteTime), t2);
  EXPECT_TRUE(info().dwFileAttributes & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(win32test::Names(dir.path()).size(), 1u);
}

TEST(Win32Files, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  TempFolder dir;
  const std::string file = dir / "precious.txt";
  WriteText(file, "precious");
  try {
    WriteFileSafely(file, [](runtime::FileSink& out) {
      out.Write("partial", 7);
      out.Flush();
      runtime::Raise(runtime::kErrDeviceIO, "Device I/O error: made up");
    });
    FAIL() << "the error did not come through";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.Number, runtime::kErrDeviceIO);
  }
  EXPECT_EQ(Text(file), "precious");
  EXPECT_EQ(win32test::Names(dir.path()).size(), 1u);
  ASSERT_TRUE(runtime::LastWriteError());
  EXPECT_EQ(runtime::LastWriteError()->Number, runtime::kErrDeviceIO);
  WriteText(file, "fine");
  EXPECT_FALSE(runtime::LastWriteError()) << "a good write clears the last error";
}

TEST(Win32Files, RefusesFoldersMissingFoldersAndBadNamesNamingThePath) {
  TempFolder dir;
  std::filesystem::create_directory(dir.path() / "sub");
  const struct {
    std::string path;
    int number;
  } cases[] = {
      {dir / "sub", runtime::kErrPathFileAccess},
      {dir / "no such folder/x.jpg", runtime::kErrPathNotFound},
      {"", runtime::kErrPathNotFound},
      {dir / "bad\xFF\xFE.jpg", runtime::kErrPathNotFound},  // not UTF-8
      {dir / "what?.jpg", runtime::kErrPathNotFound},        // not a Windows name
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const RuntimeError e = Failure(c.path);
    EXPECT_EQ(e.Number, c.number) << e.Description;
    if (!c.path.empty()) {
      EXPECT_NE(e.Description.find(c.path), std::string::npos) << e.Description;
    }
  }
  EXPECT_EQ(win32test::Names(dir.path()).size(), 1u);
}

TEST(Win32Files, ReadOnlyFileIsRefusedAndKept) {
  TempFolder dir;
  const std::string file = dir / "locked.txt";
  WriteText(file, "locked");
  ASSERT_TRUE(SetFileAttributesW(Wide(file).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Failure(file).Number, runtime::kErrPermissionDenied);
  EXPECT_EQ(Text(file), "locked");
  SetFileAttributesW(Wide(file).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32Files, WritesIntoTheNulDevice) {
  for (const char* device : {"NUL", "nul", "\\\\.\\NUL"}) {
    SCOPED_TRACE(device);
    EXPECT_NO_THROW(WriteText(device, std::string(300'000, 'x')));
  }
}

TEST(Win32Files, RelativeAndDriveRelativeNamesLandInTheCurrentFolder) {
  TempFolder dir;
  wchar_t previous[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, previous), 0u);
  ASSERT_TRUE(SetCurrentDirectoryW(dir.path().wstring().c_str()));
  const std::string drive = win32test::Utf8(dir.path()).substr(0, 2);  // "Z:"
  WriteText("plain.txt", "plain");
  WriteText(drive + "onDrive.txt", "drive");
  WriteText("plain.txt", "again");  // replaced through a temporary file in the same folder
  SetCurrentDirectoryW(previous);
  EXPECT_EQ(Text(dir / "plain.txt"), "again");
  EXPECT_EQ(Text(dir / "onDrive.txt"), "drive");
  EXPECT_EQ(win32test::Names(dir.path()).size(), 2u);
}
