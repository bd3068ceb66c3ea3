#ifndef BASE_LOCATION_H_
#define BASE_LOCATION_H_

#include <string>

namespace tracked_objects {

// Where a task was posted from. The strings must outlive the record (they are
// literals in practice).
class Location {
 public:
  Location(const char* function_name, const char* file_name, int line_number)
      : function_name_(function_name), file_name_(file_name), line_number_(line_number) {}
  Location() : function_name_("Unknown"), file_name_("Unknown"), line_number_(-1) {}

  const char* function_name() const { return function_name_; }
  const char* file_name() const { return file_name_; }
  int line_number() const { return line_number_; }

  // "function@file:line", for logs.
  std::string ToString() const;

 private:
  const char* function_name_;
  const char* file_name_;
  int line_number_;
};

}  // namespace tracked_objects

#define FROM_HERE FROM_HERE_WITH_EXPLICIT_FUNCTION(__FUNCTION__)
#define FROM_HERE_WITH_EXPLICIT_FUNCTION(function_name) \
  ::tracked_objects::Location(function_name, __FILE__, __LINE__)

#endif  // BASE_LOCATION_H_
