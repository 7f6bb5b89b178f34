#include "support/two_pass_save.h"

#include "platform/xml/pretty_print.h"
#include "support/temp_dir.h"

namespace kxtest {

std::string TwoPassSave(const kx::xml::XmlDocument& document, const std::filesystem::path& file) {
  document.SaveToFile(file);
  kx::xml::XmlDocument work;
  work.SetVersion("1.0");
  work.LoadFromFile(file);
  work.SetXml(kx::xml::PrettyPrintXml(work.Xml()));
  work.SetEncoding("UTF-8");
  work.SaveToFile(file);
  return ReadFile(file);
}

}  // namespace kxtest
