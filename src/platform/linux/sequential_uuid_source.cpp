#include "platform/linux/sequential_uuid_source.h"

#include <cstdio>
#include <string_view>

namespace hopster {

UuidText SequentialUuidSource::next() {
  char buffer[UuidText::kLength + 1];
  std::snprintf(buffer, sizeof buffer, "00000000-0000-4000-8000-%012llX", ++counter_);
  return UuidText(std::string_view(buffer, UuidText::kLength));
}

}  // namespace hopster
