#pragma once
// Pretty-printing of XML text, as the clean-up of line breaks rewrites a file.

#include <string>
#include <string_view>

namespace kx::xml {

// The same document with every element on its own line, indented by two
// spaces per nesting level. The declaration keeps its version, encoding and
// standalone values (the text stays UTF-8 whatever the declared encoding).
// Elements holding only text stay on one line; mixed content is kept as it is.
// Blank text between elements is dropped first. Text that is not well-formed
// fails with kx::Error naming the line.
std::string PrettyPrintXml(std::string_view text);

}  // namespace kx::xml
