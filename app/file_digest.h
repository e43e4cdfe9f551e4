// SHA-256 of a file's bytes (through OpenSSL's libcrypto), so a batch's
// summary names exactly which inputs it measured.
#pragma once

#include <cstdint>
#include <string>

// The digest as 64 lower-case hexadecimal digits and the file's size in
// bytes. False when the file cannot be opened or read to its end.
bool file_sha256(const std::string& path, std::string& hex, uint64_t& size);
