#include "platform/linux/session_bus.h"

#include <system_error>

namespace hopster {

std::string BusError::describe(int result) const {
  if (error.message != nullptr) return error.message;
  return std::system_category().message(-result);
}

int openBus(const std::string& address, sd_bus** bus) {
  if (address.empty()) return sd_bus_open_user(bus);
  int result = sd_bus_new(bus);
  if (result < 0) return result;
  result = sd_bus_set_address(*bus, address.c_str());
  if (result >= 0) result = sd_bus_set_bus_client(*bus, 1);
  if (result >= 0) result = sd_bus_start(*bus);
  if (result < 0) *bus = sd_bus_unref(*bus);
  return result;
}

}  // namespace hopster
