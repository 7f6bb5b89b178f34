#include "platform/error.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <filesystem>
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

std::string SystemErrorText(int code) {
  switch (code) {
    case ENOENT: return "plik lub folder nie istnieje";
    case EACCES:
    case EPERM: return "brak uprawnień";
    case EROFS: return "nośnik tylko do odczytu";
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return "brak miejsca na dysku";
    case EFBIG: return "przekroczony dopuszczalny rozmiar pliku";
    case EISDIR: return "pod tą nazwą jest folder";
    case ENOTEMPTY: return "pod tą nazwą jest folder, który nie jest pusty";
    case ENOTDIR: return "ścieżka prowadzi przez plik, a nie folder";
    case ENAMETOOLONG: return "za długa nazwa";
    case EIO: return "błąd wejścia-wyjścia";
    case EBUSY: return "plik jest zajęty";
    case EXDEV: return "plik tymczasowy na innym dysku";
    case ENOMEM: return "brak pamięci";
    default: return std::strerror(code);
  }
}

std::string ErrorReason(const std::exception& e) {
  const std::string text = e.what();
  const size_t at = text.rfind(": ");
  return at == std::string::npos ? text : text.substr(at + 2);
}

void RequireRegularFile(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    throw Error(Format("%s nie jest zwykłym plikiem", path.c_str()));
  }
}

}  // namespace kx
