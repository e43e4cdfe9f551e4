#include "app/file_digest.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>

bool file_sha256(const std::string& path, std::string& hex, uint64_t& size) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return false;
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return false;
  unsigned char buffer[1 << 16];
  uint64_t total = 0;
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
    if (EVP_DigestUpdate(context.get(), buffer, got) != 1) return false;
    total += got;
  }
  if (std::ferror(file.get())) return false;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return false;
  static const char kHex[] = "0123456789abcdef";
  hex.clear();
  for (unsigned int i = 0; i < length; i++) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  size = total;
  return true;
}
