#pragma once
// The one exception type of the system: it carries the Polish message that the
// front ends show to the user (message box, or standard error) before exiting 1.

#include <exception>
#include <stdexcept>
#include <string>

namespace kx {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// printf-like formatting of the system's messages. "%s" takes std::string or
// const char*, "%d" integers; "%f" writes two decimals as the system's texts do.
std::string Format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// A short Polish description of a system error number ("brak miejsca na
// dysku" for ENOSPC); the C library's text for the rare others.
std::string SystemErrorText(int code);

// Fails at once, naming the file, when path exists but is not a regular file
// (a folder, a device such as /dev/zero, a pipe): such a file is never read.
void RequireRegularFile(const std::string& path);

// The reason of a file error message ("Nie można zapisać pliku X: reason"):
// the text after its last ": ", or the whole message when there is none.
std::string ErrorReason(const std::exception& e);

}  // namespace kx
