// The password as the service expects it: RSA (PKCS#1 v1.5) with the
// service's public key from "pubkey.pem", then Base64 with the URL-safe
// alphabet, padded with "=". Any thread; reads the key file.
#ifndef CLIENT_WINDOWS_PASSWORD_ENCRYPTION_H_
#define CLIENT_WINDOWS_PASSWORD_ENCRYPTION_H_

#include <string>

// |password| is converted to the ANSI code page first. Empty when the
// password or the key path is empty, the key cannot be read or encryption
// fails; the empty cases and the key failures also say so on standard output.
std::string EncryptPassword(const std::wstring& password, const std::string& key_path);

// Base64 with "-" and "_" for "+" and "/", padded with "=".
std::string Base64UrlEncode(const std::string& bytes);

#endif  // CLIENT_WINDOWS_PASSWORD_ENCRYPTION_H_
