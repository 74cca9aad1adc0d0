#include "platform/uuid_source.h"

#include <uuid/uuid.h>

#include <algorithm>
#include <cstdio>

namespace hopster {

UuidText::UuidText(std::string_view text) {
  chars_.fill('0');
  std::copy_n(text.begin(), std::min(text.size(), kLength), chars_.begin());
}

UuidText LibUuidSource::next() {
  uuid_t raw;
  uuid_generate_random(raw);
  char buffer[UuidText::kLength + 1];
  uuid_unparse_upper(raw, buffer);
  return UuidText(std::string_view(buffer, UuidText::kLength));
}

UuidText SequentialUuidSource::next() {
  char buffer[UuidText::kLength + 1];
  std::snprintf(buffer, sizeof buffer, "00000000-0000-4000-8000-%012llX", ++counter_);
  return UuidText(std::string_view(buffer, UuidText::kLength));
}

}  // namespace hopster
