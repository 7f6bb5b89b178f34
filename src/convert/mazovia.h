#pragma once
// The text translation of the Buchalter import tables: each of the 18 Polish
// letters is stored with its Mazovia code, every other character with its
// Windows-1250 code. A character whose Windows-1250 code is the stored code
// of a Polish letter (’ ‘ § ž Ť • ¤ ˇ ˘ ¦ † and the no-break space) would
// read back as that letter, so it is stored in a plain form instead: ’ and ‘
// as ', the no-break space as a blank, the others as ?. Characters that
// Windows-1250 lacks become ?. Each character gives one byte.

#include <string>
#include <string_view>

namespace kx::convert {

std::string MazoviaLettersText(std::string_view utf8);

}  // namespace kx::convert
