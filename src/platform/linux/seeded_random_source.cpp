#include "platform/linux/seeded_random_source.h"

namespace hopster {

SeededRandomSource::SeededRandomSource() {
  std::random_device device;
  std::seed_seq seeds{device(), device(), device(), device()};
  engine_.seed(seeds);
}

}  // namespace hopster
