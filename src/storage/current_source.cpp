#include "storage/current_source.h"

namespace korv {

const std::string& DevicePathTable::current() const {
  static const std::string kNone;
  if (currentDevice < 0 || currentDevice >= kDevicePathSlots) return kNone;
  return paths[static_cast<std::size_t>(currentDevice)];
}

}  // namespace korv
