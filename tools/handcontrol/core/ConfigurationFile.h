#pragma once

#include <QByteArray>

#include <cstddef>

// The ".hcmc" file: an 18-byte magic, the format version and the
// configuration type (16 bits each, little-endian), 10 reserved zero bytes,
// then the whole configuration image.
namespace hcmc {

constexpr int kHeaderSize = 32;
constexpr int kFormatVersion = 1;
// A valid file is 2080 bytes. One somewhat longer is still read, so that its
// length is refused as invalid content; one longer than this is no
// configuration file and is not read at all.
constexpr size_t kMaxFileBytes = size_t{64} << 10;

// The 32 header bytes of a file of `type`.
QByteArray header(int type);

// Checks a whole file before any of it is taken: the magic (else 1014), the
// version (else 1015), the type (else 1009) and the length, header and
// image of that type (else 1014). On success `type` holds the file's type.
int checkFile(const QByteArray& file, int& type);

}  // namespace hcmc
