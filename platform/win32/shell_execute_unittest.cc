#include "win32/shell_execute.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "base/scoped_temp_dir.h"
#include "gtest/gtest.h"
#include "win32/code_page.h"
#include "win32/last_error.h"
#include "win32/process.h"

namespace {

intptr_t Code(HINSTANCE result) {
  return reinterpret_cast<intptr_t>(result);
}

// Waits (at most 20 s) for a writer of the FIFO and returns what it wrote.
std::string ReadFifo(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
  if (fd < 0)
    return "<no fifo>";
  std::string text;
  bool seen_writer = false;
  for (;;) {
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, 20000) <= 0)
      break;
    char buffer[512];
    ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n > 0) {
      text.append(buffer, static_cast<size_t>(n));
      seen_writer = true;
    } else if (n == 0 && (seen_writer || (p.revents & POLLHUP))) {
      break;
    }
  }
  close(fd);
  return text;
}

class ShellExecuteTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    root_ = dir_.path().string();
    fifo_ = root_ + "/out.fifo";
    ASSERT_EQ(0, mkfifo(fifo_.c_str(), 0600));
    bin_ = root_ + "/bin";
    std::filesystem::create_directories(bin_);
    old_path_ = getenv("PATH") ? getenv("PATH") : "";
    // The stand-in for the desktop's opener: it records what it was given.
    WriteFile(bin_ + "/xdg-open", "#!/bin/sh\nprintf 'opened:%s' \"$1\" > " + fifo_ + "\n", 0755);
    setenv("PATH", (bin_ + ":" + old_path_).c_str(), 1);
  }
  void TearDown() override { setenv("PATH", old_path_.c_str(), 1); }

  static void WriteFile(const std::string& path, const std::string& text, mode_t mode) {
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
  }

  base::ScopedTempDir dir_;
  std::string root_, fifo_, bin_, old_path_;
};

TEST_F(ShellExecuteTest, StartsADownloadedProgramWithItsParametersAndFolder) {
  std::string work = root_ + "/work dir";
  std::filesystem::create_directories(work);
  // Arrived without its executable bit, as a download does.
  std::string installer = root_ + "/Installer.exe";
  WriteFile(installer,
            "#!/bin/sh\n"
            "printf '%s|' \"$@\" \"$(pwd)\" \"$TERN_SHOW_COMMAND\" > " +
                fifo_ + "\n",
            0644);
  HINSTANCE result =
      ShellExecuteW(nullptr, L"open", win32::Utf8ToWide(installer).c_str(), L"\"a b\" c:\\x\\ /d",
                    win32::Utf8ToWide(work).c_str(), SW_SHOWNORMAL);
  EXPECT_GT(Code(result), 32);
  std::string seen = ReadFifo(fifo_);
  EXPECT_EQ("a b|c:\\x\\|/d|" + work + "|1|", seen);
  struct stat st;
  ASSERT_EQ(0, stat(installer.c_str(), &st));
  EXPECT_TRUE(st.st_mode & S_IXUSR);

  // Hidden: the program's output goes nowhere.
  result = ShellExecuteW(nullptr, nullptr, win32::Utf8ToWide(installer).c_str(), nullptr, nullptr,
                         SW_HIDE);
  EXPECT_GT(Code(result), 32);
  std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(cwd + "|0|", ReadFifo(fifo_));
}

TEST_F(ShellExecuteTest, StartsAnElfProgramAndHidesItsOutput) {
  std::string shell = root_ + "/shell.exe";
  std::filesystem::copy_file("/bin/sh", shell);
  chmod(shell.c_str(), 0644);
  std::wstring parameters =
      L"-c \"x=$(readlink /proc/$$/fd/1); echo $x > " + win32::Utf8ToWide(fifo_) + L"\"";
  EXPECT_GT(Code(ShellExecuteW(nullptr, L"open", win32::Utf8ToWide(shell).c_str(),
                               parameters.c_str(), nullptr, SW_HIDE)),
            32);
  EXPECT_EQ("/dev/null\n", ReadFifo(fifo_));
}

TEST_F(ShellExecuteTest, AddressesAndDocumentsGoToTheDesktopOpener) {
  EXPECT_GT(Code(ShellExecuteW(nullptr, L"open", L"https://tern.example/member?id=1", nullptr,
                               nullptr, SW_SHOWNORMAL)),
            32);
  EXPECT_EQ("opened:https://tern.example/member?id=1", ReadFifo(fifo_));

  std::string document = root_ + "/notes.txt";
  WriteFile(document, "hello", 0755);  // an executable bit alone does not make a program
  EXPECT_GT(Code(ShellExecuteA(nullptr, "open", "notes.txt", nullptr, root_.c_str(), SW_SHOW)), 32);
  EXPECT_EQ("opened:" + document, ReadFifo(fifo_));
}

TEST_F(ShellExecuteTest, FailuresCanBeToldApart) {
  WriteFile(root_ + "/broken.exe", "MZ not a program here", 0755);
  WriteFile(root_ + "/notes.txt", "hello", 0644);
  struct Case {
    const wchar_t* verb;
    std::string file;
    const char* directory;
    intptr_t result;
  } cases[] = {
      {L"open", root_ + "/missing.exe", nullptr, ERROR_FILE_NOT_FOUND},
      {L"open", root_ + "/no/such/folder/a.exe", nullptr, ERROR_PATH_NOT_FOUND},
      {L"open", "a.exe", "/no/such/folder", ERROR_PATH_NOT_FOUND},
      {L"open", root_ + "/broken.exe", nullptr, ERROR_BAD_FORMAT},
      {L"print", root_ + "/notes.txt", nullptr, SE_ERR_NOASSOC},
      {L"open", "", nullptr, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    std::wstring directory = c.directory ? win32::Utf8ToWide(c.directory) : L"";
    EXPECT_EQ(c.result,
              Code(ShellExecuteW(nullptr, c.verb, win32::Utf8ToWide(c.file).c_str(), nullptr,
                                 c.directory ? directory.c_str() : nullptr, SW_SHOWNORMAL)));
  }

  // Without an opener a web address has no association.
  setenv("PATH", root_.c_str(), 1);
  EXPECT_EQ(SE_ERR_NOASSOC,
            Code(ShellExecuteW(nullptr, L"open", L"http://127.0.0.1/", nullptr, nullptr, SW_SHOW)));
}

}  // namespace
