// The server's long-lived secrets in its data directory, each created on
// first start and written atomically with mode 0600:
//   rsa_key.pem     RSA-2048 key pair that clients encrypt passwords with
//   tls_cert.pem    self-signed certificate for 127.0.0.1/localhost (unless
//   tls_key.pem     the operator configured a certificate and key)
//   token_secret    HMAC key of the access tokens
#ifndef SERVER_KEY_MATERIAL_H_
#define SERVER_KEY_MATERIAL_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

typedef struct evp_pkey_st EVP_PKEY;

namespace tern {

class KeyMaterial {
 public:
  // Loads or creates everything under |data_dir|. The certificate is made
  // anew when it does not name every address in |addresses| (where relay
  // nodes listen). Null with *error set when a file cannot be read, parsed
  // or written.
  static std::unique_ptr<KeyMaterial> LoadOrCreate(const std::string& data_dir,
                                                   std::string* error,
                                                   const std::vector<std::string>& addresses = {});
  ~KeyMaterial();
  KeyMaterial(const KeyMaterial&) = delete;
  KeyMaterial& operator=(const KeyMaterial&) = delete;

  // PEM SubjectPublicKeyInfo ("-----BEGIN PUBLIC KEY-----").
  const std::string& public_key_pem() const { return public_key_pem_; }
  const std::string& token_secret() const { return token_secret_; }
  const std::string& tls_cert_path() const { return tls_cert_path_; }
  const std::string& tls_key_path() const { return tls_key_path_; }

  // URL-safe Base64 of an RSA PKCS#1 v1.5 block -> the plain bytes. False
  // for bad Base64, a wrong length or a block that does not decrypt.
  bool DecryptPassword(std::string_view encoded, std::string* plain) const;

 private:
  KeyMaterial() = default;

  EVP_PKEY* rsa_ = nullptr;
  std::string public_key_pem_;
  std::string token_secret_;
  std::string tls_cert_path_;
  std::string tls_key_path_;
};

// Writes through a temporary file and rename, so readers never see half a
// file.
bool WriteFileAtomically(const std::string& path, std::string_view content, int mode);
bool ReadWholeFile(const std::string& path, std::string* content);

// Encrypts like the client does (for tests and tools): PKCS#1 v1.5 with the
// PEM public key, URL-safe Base64 with padding. Empty on failure.
std::string EncryptPasswordForTesting(std::string_view public_key_pem, std::string_view plain);

}  // namespace tern

#endif  // SERVER_KEY_MATERIAL_H_
