#ifndef CHKSUM_H
#define CHKSUM_H

#include <string>
#include <vector>

// MD5 (RFC 1321) of a file's bytes into md5_out, which becomes 16 bytes long.
// Returns false, leaving 16 zero bytes and an error line, when the file cannot be
// opened or read, so a caller never mistakes that for a digest.
// Throws std::invalid_argument("md5_out parameter missing") for a null md5_out.
bool Md5File(const std::string &path, std::vector<unsigned char> *md5_out);

// Two lower-case hexadecimal digits per byte, no separators.
std::string VectorToHex(const std::vector<unsigned char> &bytes);

#endif
