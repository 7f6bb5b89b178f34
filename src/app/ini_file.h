#pragma once
// The configuration file as the program reads it: sections and keys matched
// without regard to letter case, values without surrounding blanks, the first
// occurrence of a key wins, text after "=" is the value whole (no inline
// comments), lines starting with ";" or "#" are comments. Lines that are
// neither a section, a key nor a comment are ignored and reported.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kx {

class IniFile {
 public:
  // Reads the file (UTF-8, UTF-16 with a byte-order mark, or code page 1250).
  explicit IniFile(const std::filesystem::path& path);
  static IniFile FromText(const std::string& text, std::string name = "");

  const std::string& FileName() const { return m_fileName; }

  // The value, or nothing when the key is absent.
  std::optional<std::string> Find(const std::string& section, const std::string& key) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
  // Whole numbers, decimal or hexadecimal with "0x" (or "$"); anything else gives the default.
  int64_t ReadInteger(const std::string& section, const std::string& key, int64_t def) const;
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;

  // Problems noticed while reading: ignored lines, repeated keys.
  const std::vector<std::string>& Warnings() const { return m_warnings; }

 private:
  IniFile() = default;
  void Parse(const std::string& text);

  std::string m_fileName;
  std::map<std::pair<std::string, std::string>, std::string> m_values;
  std::vector<std::string> m_warnings;
};

}  // namespace kx
