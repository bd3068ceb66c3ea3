// Shared by the tests that talk to a running tern-service.
#ifndef SERVER_TESTING_SERVICE_TEST_FIXTURE_H_
#define SERVER_TESTING_SERVICE_TEST_FIXTURE_H_

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <memory>
#include <string>

#include "server/key_material.h"
#include "server/testing/service_process.h"

namespace tern {

inline std::string JsonQuote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\')
      out += '\\';
    out += c;
  }
  return out + "\"";
}

class ServiceTest : public ::testing::Test {
 protected:
  // Codes may follow each other at once here; the limit has its own test.
  void SetUp() override { StartService({"--sms-interval", "0"}); }

  void StartService(const std::vector<std::string>& extra) {
    service_ = std::make_unique<ServiceProcess>(dir_.path());
    ASSERT_TRUE(service_->Start(extra));
    client_ = std::make_unique<HttpsClient>(service_->base_url(), service_->certificate_path());
    HttpAnswer key = client_->Get("/certificate/publickey.do");
    rapidjson::Document doc;
    doc.Parse(key.body.c_str());
    ASSERT_TRUE(doc.IsObject() && doc["data"].IsObject()) << key.body;
    public_key_ = doc["data"]["content"].GetString();
  }

  std::string Encrypt(const std::string& password) {
    return EncryptPasswordForTesting(public_key_, password);
  }

  std::string SmsCode(const std::string& number) {
    HttpAnswer sent = client_->Post("/captcha/phone.do", "{\"username\":\"" + number + "\"}");
    EXPECT_EQ(sent.code, 200) << sent.body;
    ProcessResult code = service_->Admin({"last-code", number});
    EXPECT_EQ(code.exit_code, 0);
    return code.out.substr(0, code.out.find('\n'));
  }

  // Registers |number| and returns the answer (with uuid, interim, token).
  HttpAnswer Register(const std::string& number, const std::string& password) {
    std::string code = SmsCode(number);
    return client_->Post("/account/signup.do?chan=official&dev=test&mac=",
                         "{\"username\":\"" + number +
                             "\",\"password\":" + JsonQuote(Encrypt(password)) +
                             ",\"client\":\"pc\",\"captcha\":\"" + code + "\"}");
  }

  HttpAnswer SignIn(const std::string& number, const std::string& password) {
    return client_->Post("/account/signin.do?chan=official&dev=test&mac=",
                         "{\"username\":\"" + number + "\",\"password\":" +
                             JsonQuote(Encrypt(password)) + ",\"client\":\"pc\"}");
  }

  static rapidjson::Document Parse(const HttpAnswer& answer) {
    rapidjson::Document doc;
    doc.Parse(answer.body.c_str(), answer.body.size());
    return doc;
  }

  ScopedTempDir dir_;
  std::unique_ptr<ServiceProcess> service_;
  std::unique_ptr<HttpsClient> client_;
  std::string public_key_;
};

}  // namespace tern

#endif  // SERVER_TESTING_SERVICE_TEST_FIXTURE_H_
