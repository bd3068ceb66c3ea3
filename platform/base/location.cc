#include "base/location.h"

namespace tracked_objects {

std::string Location::ToString() const {
  return std::string(function_name_) + "@" + file_name_ + ":" + std::to_string(line_number_);
}

}  // namespace tracked_objects
