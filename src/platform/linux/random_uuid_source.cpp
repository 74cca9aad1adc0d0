#include "platform/linux/random_uuid_source.h"

#include <sys/random.h>
#include <sys/types.h>
#include <uuid/uuid.h>

#include <cerrno>
#include <cstring>

#include <string_view>

namespace hopster {

void RandomUuidSource::refill() {
  std::size_t filled = 0;
  while (filled < kBufferSize) {
    const ssize_t got = getrandom(buffer_.data() + filled, kBufferSize - filled, 0);
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
    } else if (got < 0 && errno != EINTR) {
      // No kernel generator (very old kernels): fall back on libuuid's own.
      for (std::size_t i = filled; i + sizeof(uuid_t) <= kBufferSize; i += sizeof(uuid_t)) {
        uuid_generate_random(buffer_.data() + i);
      }
      break;
    }
  }
  used_ = 0;
}

UuidText RandomUuidSource::next() {
  if (used_ + sizeof(uuid_t) > kBufferSize) refill();
  uuid_t raw;
  std::memcpy(raw, buffer_.data() + used_, sizeof raw);
  // Wipe what was handed out, so no id can be recovered from this object later.
  std::memset(buffer_.data() + used_, 0, sizeof raw);
  used_ += sizeof raw;
  raw[6] = static_cast<unsigned char>((raw[6] & 0x0F) | 0x40);  // version 4: random
  raw[8] = static_cast<unsigned char>((raw[8] & 0x3F) | 0x80);  // RFC 4122 variant
  char buffer[UuidText::kLength + 1];
  uuid_unparse_upper(raw, buffer);
  return UuidText(std::string_view(buffer, UuidText::kLength));
}

}  // namespace hopster
