#include "server/key_material.h"

#include <fcntl.h>
#include <openssl/bio.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "server/crypto_util.h"

namespace tern {
namespace {

struct BioDeleter {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct PkeyDeleter {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct X509Deleter {
  void operator()(X509* cert) const { X509_free(cert); }
};
struct CtxDeleter {
  void operator()(EVP_PKEY_CTX* ctx) const { EVP_PKEY_CTX_free(ctx); }
};
using BioPtr = std::unique_ptr<BIO, BioDeleter>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDeleter>;
using X509Ptr = std::unique_ptr<X509, X509Deleter>;
using CtxPtr = std::unique_ptr<EVP_PKEY_CTX, CtxDeleter>;

std::string BioText(BIO* bio) {
  char* data = nullptr;
  long size = BIO_get_mem_data(bio, &data);
  return std::string(data, size > 0 ? static_cast<size_t>(size) : 0);
}

std::string PrivateKeyPem(EVP_PKEY* key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr)) {
    return std::string();
  }
  return BioText(bio.get());
}

PkeyPtr ReadPrivateKey(const std::string& pem) {
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return PkeyPtr(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

bool FileExists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// True when the certificate in |cert_path| names every address in
// |addresses|.
bool CoversAddresses(const std::string& cert_path, const std::vector<std::string>& addresses) {
  std::string pem;
  if (!ReadWholeFile(cert_path, &pem))
    return false;
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  X509Ptr cert(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
  if (!cert)
    return false;
  for (const std::string& address : addresses) {
    if (X509_check_ip_asc(cert.get(), address.c_str(), 0) != 1)
      return false;
  }
  return true;
}

// A self-signed certificate for the loopback names and |addresses| (the
// relay nodes), valid ten years.
bool CreateSelfSigned(const std::string& cert_path,
                      const std::string& key_path,
                      const std::vector<std::string>& addresses,
                      std::string* error) {
  PkeyPtr key(EVP_EC_gen("P-256"));
  X509Ptr cert(X509_new());
  if (!key || !cert) {
    *error = "cannot generate the TLS key";
    return false;
  }
  X509_set_version(cert.get(), 2);
  std::string serial = RandomBytes(8);
  BIGNUM* bn = BN_bin2bn(reinterpret_cast<const unsigned char*>(serial.data()),
                         static_cast<int>(serial.size()), nullptr);
  BN_to_ASN1_INTEGER(bn, X509_get_serialNumber(cert.get()));
  BN_free(bn);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 10L * 365 * 24 * 3600);
  X509_set_pubkey(cert.get(), key.get());
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("tern-service"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert.get(), cert.get(), nullptr, nullptr, 0);
  std::string names = "IP:127.0.0.1,IP:::1,DNS:localhost";
  for (const std::string& address : addresses) {
    if (address != "127.0.0.1")
      names += ",IP:" + address;
  }
  X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &ctx, NID_subject_alt_name, names.c_str());
  if (san) {
    X509_add_ext(cert.get(), san, -1);
    X509_EXTENSION_free(san);
  }
  if (!X509_sign(cert.get(), key.get(), EVP_sha256())) {
    *error = "cannot sign the TLS certificate";
    return false;
  }
  BioPtr bio(BIO_new(BIO_s_mem()));
  PEM_write_bio_X509(bio.get(), cert.get());
  if (!WriteFileAtomically(key_path, PrivateKeyPem(key.get()), 0600) ||
      !WriteFileAtomically(cert_path, BioText(bio.get()), 0644)) {
    *error = "cannot write " + cert_path;
    return false;
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view content, int mode) {
  std::string temp = path + ".tmp." + std::to_string(getpid());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) {
    return false;
  }
  size_t done = 0;
  while (done < content.size()) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n <= 0) {
      close(fd);
      unlink(temp.c_str());
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (fsync(fd) != 0 || close(fd) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return false;
  }
  return true;
}

bool ReadWholeFile(const std::string& path, std::string* content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *content = buffer.str();
  return true;
}

std::unique_ptr<KeyMaterial> KeyMaterial::LoadOrCreate(const std::string& data_dir,
                                                       std::string* error,
                                                       const std::vector<std::string>& addresses) {
  std::unique_ptr<KeyMaterial> keys(new KeyMaterial());
  std::string rsa_path = data_dir + "/rsa_key.pem";
  std::string pem;
  if (FileExists(rsa_path)) {
    if (!ReadWholeFile(rsa_path, &pem)) {
      *error = "cannot read " + rsa_path;
      return nullptr;
    }
  } else {
    PkeyPtr generated(EVP_RSA_gen(2048));
    pem = generated ? PrivateKeyPem(generated.get()) : std::string();
    if (pem.empty() || !WriteFileAtomically(rsa_path, pem, 0600)) {
      *error = "cannot create " + rsa_path;
      return nullptr;
    }
  }
  PkeyPtr rsa = ReadPrivateKey(pem);
  if (!rsa || EVP_PKEY_get_base_id(rsa.get()) != EVP_PKEY_RSA) {
    *error = rsa_path + " does not hold an RSA private key";
    return nullptr;
  }
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (!PEM_write_bio_PUBKEY(bio.get(), rsa.get())) {
    *error = "cannot export the public key";
    return nullptr;
  }
  keys->public_key_pem_ = BioText(bio.get());
  keys->rsa_ = rsa.release();

  std::string secret_path = data_dir + "/token_secret";
  if (FileExists(secret_path)) {
    if (!ReadWholeFile(secret_path, &keys->token_secret_) || keys->token_secret_.size() < 32) {
      *error = secret_path + " is unreadable or too short";
      return nullptr;
    }
  } else {
    keys->token_secret_ = RandomHex(32);
    if (keys->token_secret_.empty() ||
        !WriteFileAtomically(secret_path, keys->token_secret_, 0600)) {
      *error = "cannot create " + secret_path;
      return nullptr;
    }
  }

  keys->tls_cert_path_ = data_dir + "/tls_cert.pem";
  keys->tls_key_path_ = data_dir + "/tls_key.pem";
  if (!FileExists(keys->tls_cert_path_) || !FileExists(keys->tls_key_path_) ||
      !CoversAddresses(keys->tls_cert_path_, addresses)) {
    if (!CreateSelfSigned(keys->tls_cert_path_, keys->tls_key_path_, addresses, error)) {
      return nullptr;
    }
  }
  return keys;
}

KeyMaterial::~KeyMaterial() {
  EVP_PKEY_free(rsa_);
}

bool KeyMaterial::DecryptPassword(std::string_view encoded, std::string* plain) const {
  std::string block;
  if (encoded.empty() || !Base64UrlDecode(encoded, &block) ||
      block.size() != static_cast<size_t>(EVP_PKEY_get_size(rsa_))) {
    return false;
  }
  CtxPtr ctx(EVP_PKEY_CTX_new(rsa_, nullptr));
  if (!ctx || EVP_PKEY_decrypt_init(ctx.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0) {
    return false;
  }
  size_t length = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(block.data());
  if (EVP_PKEY_decrypt(ctx.get(), nullptr, &length, in, block.size()) <= 0) {
    return false;
  }
  std::string out(length, '\0');
  if (EVP_PKEY_decrypt(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &length, in,
                       block.size()) <= 0) {
    return false;
  }
  out.resize(length);
  *plain = std::move(out);
  return true;
}

std::string EncryptPasswordForTesting(std::string_view public_key_pem, std::string_view plain) {
  BioPtr bio(BIO_new_mem_buf(public_key_pem.data(), static_cast<int>(public_key_pem.size())));
  PkeyPtr key(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
  if (!key) {
    return std::string();
  }
  CtxPtr ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
  size_t length = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(plain.data());
  if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) <= 0 ||
      EVP_PKEY_encrypt(ctx.get(), nullptr, &length, in, plain.size()) <= 0) {
    return std::string();
  }
  std::string out(length, '\0');
  if (EVP_PKEY_encrypt(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &length, in,
                       plain.size()) <= 0) {
    return std::string();
  }
  out.resize(length);
  return Base64UrlEncode(out, true);
}

}  // namespace tern
