#include "updater/update_download.h"

#include "gtest/gtest.h"
#include "updater/download_progress.h"

namespace {

TEST(UpdateDownloadTest, FileNameIsThePartAfterTheLastSlash) {
  EXPECT_EQ(DownloadFileName(L"https://127.0.0.1:8443/package/Installer.exe"), L"Installer.exe");
  EXPECT_EQ(DownloadFileName(L"https://127.0.0.1:8443/package/"), L"");
  EXPECT_EQ(DownloadFileName(L"Installer.exe"), L"");
  EXPECT_EQ(DownloadFileName(L""), L"");
}

TEST(UpdateDownloadTest, PercentIsTruncatedAndAZeroMaximumIgnored) {
  EXPECT_EQ(DownloadProgress::PercentOf(50, 200), 25);
  EXPECT_EQ(DownloadProgress::PercentOf(200, 200), 100);
  EXPECT_EQ(DownloadProgress::PercentOf(199, 200), 99);
  EXPECT_EQ(DownloadProgress::PercentOf(1, 3), 33);
  EXPECT_EQ(DownloadProgress::PercentOf(5, 0), -1);
}

TEST(UpdateDownloadTest, ResultsMapToTheirTextsAndLines) {
  struct {
    HRESULT result;
    bool ok;
    const wchar_t* text;
    const char* printed;
  } cases[] = {
      {S_OK, true, nullptr, "Ok\n"},
      {E_OUTOFMEMORY, false, L"更新失败：内存不足!",
       "Buffer length invalid, or insufficient memory\n"},
      {INET_E_DOWNLOAD_FAILURE, false, L"更新失败：下载地址无效!", "URL is invalid\n"},
      {INET_E_RESOURCE_NOT_FOUND, false, L"更新失败：系统无法找到指定资源!", ""},
      {INET_E_UNKNOWN_PROTOCOL, false, L"更新失败：无效的更新链接!", ""},
      {E_FAIL, false, L"更新失败：未知原因!", "URL is invalid\n"},
  };
  for (const auto& c : cases) {
    DownloadOutcome outcome = OutcomeOf(c.result);
    EXPECT_EQ(outcome.ok, c.ok);
    EXPECT_STREQ(outcome.printed, c.printed);
    if (c.text) {
      EXPECT_STREQ(FailureText(outcome.failure), c.text);
    }
  }
}

}  // namespace
