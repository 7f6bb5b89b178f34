#include "app/ini_file.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/error.h"
#include "platform/text_utils.h"

namespace kx {

IniFile::IniFile(const std::filesystem::path& path) : m_fileName(path.string()) {
  RequireRegularFile(m_fileName);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(Format("Nie można odczytać pliku %s", m_fileName.c_str()));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  Parse(DecodeTextFile(bytes.str()));
}

IniFile IniFile::FromText(const std::string& text, std::string name) {
  IniFile ini;
  ini.m_fileName = std::move(name);
  ini.Parse(text);
  return ini;
}

void IniFile::Parse(const std::string& text) {
  std::string section;
  int lineNo = 0;
  for (const std::string& raw : SplitLines(text)) {
    ++lineNo;
    std::string line = Trim(raw);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      if (close == std::string::npos) {
        m_warnings.push_back(
            Format("Pominięto błędny wiersz %d pliku %s: %s", lineNo, m_fileName.c_str(), line.c_str()));
        continue;
      }
      section = UpperCase(Trim(line.substr(1, close - 1)));
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string::npos || Trim(line.substr(0, eq)).empty()) {
      m_warnings.push_back(Format("Pominięto błędny wiersz %d pliku %s: %s", lineNo, m_fileName.c_str(), line.c_str()));
      continue;
    }
    std::string key = Trim(line.substr(0, eq));
    auto id = std::make_pair(section, UpperCase(key));
    if (m_values.count(id)) {
      m_warnings.push_back(Format("Klucz %s powtórzony w wierszu %d pliku %s; obowiązuje pierwsza wartość", key.c_str(),
                                  lineNo, m_fileName.c_str()));
      continue;
    }
    m_values.emplace(id, Trim(line.substr(eq + 1)));
  }
}

std::optional<std::string> IniFile::Find(const std::string& section, const std::string& key) const {
  auto it = m_values.find({UpperCase(section), UpperCase(key)});
  if (it == m_values.end()) return std::nullopt;
  return it->second;
}

bool IniFile::ValueExists(const std::string& section, const std::string& key) const {
  return Find(section, key).has_value();
}

std::string IniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
  auto v = Find(section, key);
  return v ? *v : def;
}

int64_t IniFile::ReadInteger(const std::string& section, const std::string& key, int64_t def) const {
  auto v = Find(section, key);
  if (!v || v->empty()) return def;
  std::string s = *v;
  bool negative = false;
  size_t pos = 0;
  if (s[pos] == '-' || s[pos] == '+') negative = s[pos++] == '-';
  int base = 10;
  if (s.compare(pos, 2, "0x") == 0 || s.compare(pos, 2, "0X") == 0) {
    base = 16;
    pos += 2;
  } else if (s[pos] == '$') {
    base = 16;
    pos += 1;
  }
  // A digit must follow: strtoll would skip blanks and read a second sign.
  if (pos >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[pos]))) return def;
  char* end = nullptr;
  errno = 0;
  long long n = std::strtoll(s.c_str() + pos, &end, base);
  if (*end != '\0' || errno != 0) return def;
  return negative ? -n : n;
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool def) const {
  return ReadInteger(section, key, def ? 1 : 0) != 0;
}

}  // namespace kx
