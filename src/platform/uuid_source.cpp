#include "platform/uuid_source.h"

#include <algorithm>

namespace hopster {

UuidText::UuidText(std::string_view text) {
  chars_.fill('0');
  std::copy_n(text.begin(), std::min(text.size(), kLength), chars_.begin());
}

}  // namespace hopster
