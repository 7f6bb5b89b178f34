#include "platform/error.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace kx {

std::string Format(const char* pattern, ...) {
  // "%f" in the system's texts means two decimals.
  std::string fixed;
  for (const char* p = pattern; *p; ++p) {
    fixed += *p;
    if (*p == '%' && p[1] == '%') {
      fixed += *++p;
    } else if (*p == '%' && p[1] == 'f') {
      fixed += ".2";
    }
  }
  va_list args;
  va_start(args, pattern);
  va_list copy;
  va_copy(copy, args);
  int size = std::vsnprintf(nullptr, 0, fixed.c_str(), copy);
  va_end(copy);
  std::string out(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(out.data(), out.size() + 1, fixed.c_str(), args);
  va_end(args);
  return out;
}

}  // namespace kx
