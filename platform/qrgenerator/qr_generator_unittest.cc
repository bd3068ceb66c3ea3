#include "qrgenerator/qr_generator.h"

#include <stdio.h>
#include <sys/wait.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "base/scoped_temp_dir.h"
#include "duilib/render_engine.h"
#include "gtest/gtest.h"
#include "win32/code_page.h"

namespace {

// What zbarimg reads from the image; "" when it finds no code.
std::string Decode(const std::string& path) {
  FILE* pipe = popen(("zbarimg --quiet --raw '" + path + "' 2>/dev/null").c_str(), "r");
  if (!pipe)
    return "<no zbarimg>";
  std::string text;
  char buffer[1024];
  size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0)
    text.append(buffer, got);
  pclose(pipe);
  if (!text.empty() && text.back() == '\n')
    text.pop_back();
  return text;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

int32_t Le32(const std::string& data, size_t at) {
  return static_cast<int32_t>(static_cast<uint8_t>(data[at]) |
                              static_cast<uint8_t>(data[at + 1]) << 8 |
                              static_cast<uint8_t>(data[at + 2]) << 16 |
                              static_cast<uint32_t>(static_cast<uint8_t>(data[at + 3])) << 24);
}

class QrGeneratorTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.CreateUniqueTempDir());
    path_ = dir_.path().string() + "/qr.bmp";
  }
  base::ScopedTempDir dir_;
  std::string path_;
};

TEST_F(QrGeneratorTest, TheBitmapDecodesBackToTheText) {
  std::string long_address = "https://pay.tern.example/order?trade_no=";
  for (int i = 0; i < 20; ++i)
    long_address += "20261211163400123456";
  const std::string texts[] = {
      "weixin://wxpay/bizpayurl?pr=AbC1dEf",
      "https://127.0.0.1:8443/pay/qr?trade_no=T202612110001&sign=9f86d081884c7d65",
      long_address,
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    ASSERT_TRUE(QRGenerator(text.c_str(), path_.c_str()));
    EXPECT_EQ(text, Decode(path_));
    std::string bitmap = ReadFile(path_);
    ASSERT_GT(bitmap.size(), 54u);
    EXPECT_EQ("BM", bitmap.substr(0, 2));
    EXPECT_EQ(24, bitmap[28]);
    int32_t width = Le32(bitmap, 18);
    EXPECT_GE(width, kQrMinimumPixels);
    EXPECT_EQ(width, Le32(bitmap, 22));
    // The UI library shows it.
    std::unique_ptr<DuiLib::TImageInfo> image = DuiLib::CRenderEngine::DecodeImage(bitmap);
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(width, image->nX);
  }
}

TEST_F(QrGeneratorTest, TextInTheAnsiCodePageIsEncodedAsUtf8) {
  std::string gbk = win32::WideToAnsi(L"订单 weixin://wxpay/测试");
  ASSERT_TRUE(QRGenerator(gbk.c_str(), path_.c_str()));
  EXPECT_EQ("订单 weixin://wxpay/测试", Decode(path_));
}

TEST_F(QrGeneratorTest, NoTextLeavesABlankImageInPlaceOfTheOldCode) {
  ASSERT_TRUE(QRGenerator("weixin://wxpay/bizpayurl?pr=old", path_.c_str()));
  EXPECT_FALSE(QRGenerator("", path_.c_str()));
  std::string bitmap = ReadFile(path_);
  ASSERT_GT(bitmap.size(), 54u);
  EXPECT_EQ(kQrMinimumPixels, Le32(bitmap, 18));
  size_t row_bytes = (3 * kQrMinimumPixels + 3) / 4 * 4;
  ASSERT_EQ(54 + row_bytes * kQrMinimumPixels, bitmap.size());
  for (int row = 0; row < kQrMinimumPixels; ++row) {
    std::string pixels = bitmap.substr(54 + row * row_bytes, 3 * kQrMinimumPixels);
    ASSERT_EQ(std::string::npos, pixels.find_first_not_of('\xFF')) << row;
  }
  EXPECT_EQ("", Decode(path_));
  EXPECT_FALSE(QRGenerator(nullptr, path_.c_str()));

  EXPECT_FALSE(QRGenerator("weixin://x", (dir_.path().string() + "/no/folder/qr.bmp").c_str()));
  EXPECT_FALSE(QRGenerator("weixin://x", ""));
}

}  // namespace
