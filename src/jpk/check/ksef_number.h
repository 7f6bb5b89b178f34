#pragma once
// Numbers given to invoices by the national e-invoice system (KSeF):
// "NNNNNNNNNN-RRRRMMDD-XXXXXXXXXXXX-CC", 35 characters: the issuer's NIP,
// the date, 12 upper-case hexadecimal characters and the check sum of the
// first 32 characters (CRC-8, polynomial 0x07, initial value 0, no
// reflection, no final xor) as 2 upper-case hexadecimal characters. The
// file format also takes the issuer as "M" and 9 digits or 3 letters and 7
// digits, and the 12 characters as two groups of 6 with a dash between them
// (36 characters, an earlier form whose check sum is not checked here).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kx::jpk::check {

struct KsefNumber {
  std::string issuer;    // the NIP (or the other identifier) before the first dash
  std::string date;      // RRRRMMDD
  std::string body;      // the first 32 characters (35 characters form)
  std::string check;     // the 2 check characters
  bool grouped = false;  // the 36 characters form
};

// CRC-8 of the bytes, polynomial 0x07, initial value 0x00.
uint8_t KsefCrc8(std::string_view bytes);

// The 2 upper-case hexadecimal characters of the check sum of a number's
// first 32 characters.
std::string KsefCheckText(std::string_view first32);

// The parts of a number of the right form; nothing otherwise.
std::optional<KsefNumber> ParseKsefNumber(std::string_view text);

// What is wrong with a number, in Polish ("" when nothing is): its form, its
// date, its check sum (of the 35 characters form).
std::string KsefNumberFault(std::string_view text);

}  // namespace kx::jpk::check
