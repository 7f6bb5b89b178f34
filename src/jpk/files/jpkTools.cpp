#include "jpk/files/jpkTools.h"

#include <algorithm>
#include <iterator>
#include <vector>

#include <fstream>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "platform/error.h"
#include "platform/file_faults.h"
#include "platform/temp_file.h"
#include "platform/text_utils.h"

namespace kx::jpk {
namespace {

constexpr char kSep = std::filesystem::path::preferred_separator;

std::string DayText(const Date& d) { return tables::DateText(d); }

// KodUrzedu of JPK_MAG and JPK_KR: the office code read as a whole number and
// written with four digits, as the schemas' code list has it (0202, not 202).
std::string OfficeCodeAsNumber(const std::string& usCode) {
  std::string t = Trim(usCode);
  char* end = nullptr;
  errno = 0;
  long v = t.empty() ? 0 : std::strtol(t.c_str(), &end, 10);
  if (t.empty() || *end != '\0' || errno != 0 || v < 0 || v > 9999) {
    throw Error(Format("\"%s\" nie jest poprawną liczbą całkowitą", usCode.c_str()));
  }
  return Format("%04ld", v);
}

// The firm's address in the order the schemas give: KodKraju "PL", the
// optional parts only when filled, Miejscowosc always, then KodPocztowy.
template <typename Address>
void FillAddress(const AppSettings& s, Address address) {
  address.SetKodKraju("PL");
  if (!s.Wojewodztwo.empty()) address.SetWojewodztwo(s.Wojewodztwo);
  if (!s.Powiat.empty()) address.SetPowiat(s.Powiat);
  if (!s.Gmina.empty()) address.SetGmina(s.Gmina);
  if (!s.Ulica.empty()) address.SetUlica(s.Ulica);
  if (!s.NrDomu.empty()) address.SetNrDomu(s.NrDomu);
  if (!s.NrLokalu.empty()) address.SetNrLokalu(s.NrLokalu);
  address.SetMiejscowosc(s.Miasto);
  if (!s.KodPocztowy.empty()) address.SetKodPocztowy(s.KodPocztowy);
}

}  // namespace

void RequireFirmAddress(const AppSettings& s) {
  std::string missing;
  const std::pair<const char*, const std::string*> keys[] = {
      {"Wojewodztwo", &s.Wojewodztwo}, {"Powiat", &s.Powiat},           {"Gmina", &s.Gmina},  {"NrDomu", &s.NrDomu},
      {"Miasto", &s.Miasto},           {"KodPocztowy", &s.KodPocztowy}, {"Poczta", &s.Poczta}};
  for (const auto& [key, value] : keys) {
    if (Trim(*value).empty()) missing += (missing.empty() ? "" : ", ") + std::string(key);
  }
  if (!missing.empty()) {
    throw Error("Brak adresu firmy w pliku konfiguracyjnym, sekcja [System]: " + missing);
  }
}

namespace {

void SetUtf8(xml::XmlDocument document) {
  if (document.Encoding() != "UTF-8") document.SetEncoding("UTF-8");
}

// Header and subject of JPK_MAG and JPK_KR, which share their shape.
// The header is written before the subject: elements stand in the order in
// which they are first touched.
template <typename Root>
void Fill2016Header(const AppContext& ctx, Root root, const char* code, const char* system, const CreationTime& now) {
  const AppSettings& s = ctx.AppSettings;
  auto header = root.Naglowek();
  std::string officeCode = OfficeCodeAsNumber(s.USCode);
  header.KodFormularza().SetText(code);
  header.KodFormularza().SetKodSystemowy(system);
  header.KodFormularza().SetWersjaSchemy("1-0");
  header.SetWariantFormularza(1);
  header.SetCelZlozenia(1);
  header.SetDataWytworzeniaJPK(now.Text());
  header.SetDataOd(DayText(FirstDayOfMonth(s.CurDate)));
  header.SetDataDo(DayText(LastDayOfMonth(s.CurDate)));
  header.SetDomyslnyKodWaluty("PLN");
  xml::XmlNode(header.Node()).ChildByName("KodUrzedu").SetText(officeCode);

  auto subject = root.Podmiot1();
  auto id = subject.IdentyfikatorPodmiotu();
  id.SetNIP(s.NIP);
  id.SetPelnaNazwa(s.Nazwa);
  if (!s.Regon.empty()) id.SetREGON(s.Regon);
  auto address = subject.AdresPodmiotu();
  FillAddress(s, address);
  if (!s.Poczta.empty()) address.SetPoczta(s.Poczta);
}

// Indents a file written earlier, shared by the four kinds: the file is read,
// written again indented and held by the caller; wrap gives the kind's root of
// the document, load reads the file again after a failure.
template <typename Root, typename Wrap, typename Load>
void FormatAndSave(Root& root, const std::string& fileName, const char* failure, Wrap wrap, Load load) {
  if (root.IsNull() || fileName.empty()) throw Error(failure);
  // The caller's document is released first: only one tree is held at a time.
  root = Root();
  try {
    xml::XmlDocument work;
    work.SetVersion("1.0");
    work.LoadFromFile(fileName);
    work.SaveFormatted(fileName);
    root = wrap(work);
  } catch (...) {
    root = load(fileName);
    throw;
  }
}

SaveCheck& TheSaveCheck() {
  static SaveCheck check;
  return check;
}

// The finished private file put where the user's file goes.
void PutInPlace(const std::filesystem::path& work, const std::filesystem::path& target) {
  std::error_code ec;
  if (const int injected = FileFault(FileStep::Rename)) ec.assign(injected, std::generic_category());
  if (!ec) std::filesystem::rename(work, target, ec);
  if (ec) throw Error(SystemErrorText(ec.value()));
}

[[noreturn]] void FailSave(const std::string& fileName, const Error& e) {
  // The message names the user's file, not the private one.
  throw Error(Format("Nie można zapisać pliku %s: %s", fileName.c_str(), ErrorReason(e).c_str()));
}

// The save of a document as a whole: the indented file is written to a
// private file beside the target, and one rename puts it in place. Until then
// the old file is untouched; after a failure nothing is left behind. The
// caller keeps the document as reading the finished file back would give it.
template <typename Root>
void SaveWhole(Root& root, const std::string& fileName) {
  const std::filesystem::path target(fileName);
  try {
    TempFile work(target);
    GiveFinalMode(work.Path(), target);
    xml::XmlDocument document = root.OwnerDocument();
    const SaveCheck& check = TheSaveCheck();
    const std::filesystem::path schemas = check.schemas && check.report ? check.schemas() : std::filesystem::path();
    SavedFileCheck outcome;
    // The schema check reads the finished tree while the file is written.
    document.SaveFormatted(
        work.Path(), schemas.empty() ? std::function<void()>() : [&] {
          try {
            outcome.errors = ValidateJpkDocument(document, schemas);
          } catch (const Error& e) {
            outcome.failure = e.what();
          }
        });
    // The same tree, or the one read back when the document needed the longer way.
    root = Root(document.DocumentElement());
    if (!schemas.empty()) check.report(outcome, fileName);
    PutInPlace(work.Path(), target);
    document.SetModified(false);
  } catch (const Error& e) {
    FailSave(fileName, e);
  }
}

void CopyChildren(xml::XmlDocument target, std::string_view mainNamespace, xml::XmlNode targetNode,
                  xml::XmlNode sourceNode, bool consume);

template <typename Root, typename Prepare>
bool RepairPrefixes(AppContext& ctx, Root& root, const std::string& fileName, const char* mainNamespace,
                    Root (*newDocument)(), Prepare prepare) {
  xml::XmlNode oldRoot = root.Node();
  xml::XmlNode declaration = oldRoot.FindNamespaceDecl(oldRoot.NamespaceURI());
  bool prefixed = !declaration.IsNull() && declaration.NodeName().find(':') != std::string::npos;
  if (!prefixed ||
      ctx.ui.Ask(ui::BoxKind::Confirmation, "Prefixy przestrzeni nazw niezgodne ze specyfikacją\rPoprawić?",
                 {ui::Button::Yes, ui::Button::No}, ui::Button::Yes) != ui::Button::Yes) {
    prepare(root);
    return false;
  }
  Root fresh = newDocument();
  prepare(fresh);
  // The old tree is emptied as it is copied: from here on root holds no file.
  root = Root();
  CopyChildren(fresh.OwnerDocument(), mainNamespace, fresh.Node(), oldRoot, true);
  // The old file is copied to the backup and replaced only by the finished
  // repaired one: a failure leaves it where it was.
  CopyJpkFileToBackup(fileName, '~');
  root = fresh;
  SaveWhole(root, fileName);
  return true;
}

// The save dialog, then the save under the chosen name behind the wait message.
bool SaveAs(AppContext& ctx, const std::string& suffix, bool proposeEveryTime,
            const std::function<void(const std::string&)>& save) {
  auto chosen = AskSaveFileName(ctx, suffix, proposeEveryTime);
  if (!chosen) return false;
  const std::string& fileName = *chosen;

  ctx.ui.ShowWait("Proszę czekać. Trwa zapisywanie pliku...");
  struct WaitGuard {
    ui::UserPort& port;
    ~WaitGuard() { port.HideWait(); }
  } waitGuard{ctx.ui};
  ui::BusyCursor busy(ctx.ui);
  save(fileName);
  ctx.JpkFileName = fileName;
  return true;
}

template <typename Root>
bool SaveAs(AppContext& ctx, Root& root, const char* missingMessage, const std::string& suffix, bool proposeEveryTime) {
  if (root.IsNull() || !root.OwnerDocument().Active()) throw Error(missingMessage);
  return SaveAs(ctx, suffix, proposeEveryTime, [&root](const std::string& fileName) { SaveWhole(root, fileName); });
}

}  // namespace

CreationTime CreationTime::Now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return {{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday}, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

std::string CreationTime::Text() const { return DayText(date) + Format("T%02d:%02d:%02d", hour, minute, second); }

Date FirstDayOfMonth(const Date& d) { return {d.year, d.month, 1}; }

Date LastDayOfMonth(const Date& d) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
  return {d.year, d.month, d.month == 2 && leap ? 29 : days[d.month - 1]};
}

// ---------------------------------------------------------------- JPK_V7M

void PrepareV7MDocument(v7m::IXMLJPK root) {
  SetUtf8(root.OwnerDocument());
  xml::XmlNode(root.Node()).DeclareNamespace("etd", kEtdV7M);
}

void FillV7MHeader(const AppContext& ctx, v7m::IXMLJPK root, bool correction, const CreationTime& now) {
  const AppSettings& s = ctx.AppSettings;
  auto header = root.Naglowek();
  header.KodFormularza().SetText("JPK_VAT");
  header.KodFormularza().SetKodSystemowy("JPK_V7M (3)");
  header.KodFormularza().SetWersjaSchemy("1-0E");
  header.SetWariantFormularza(3);
  header.SetDataWytworzeniaJPK(now.Text());
  header.SetNazwaSystemu(s.NazwaSystemu);
  header.CelZlozenia().SetPoz("P_7");
  header.CelZlozenia().SetText(correction ? "2" : "1");
  header.SetKodUrzedu(s.USCode);
  header.SetRok(std::to_string(s.CurDate.year));
  header.SetMiesiac(s.CurDate.month);

  auto subject = root.Podmiot1();
  subject.SetRola("Podatnik");
  if (!s.Imie.empty()) {
    auto person = subject.OsobaFizyczna();
    person.SetNIP(s.NIP);
    person.SetImiePierwsze(s.Imie);
    person.SetNazwisko(s.Nazwisko);
    person.SetDataUrodzenia(s.DataUrodzenia);
    person.SetEmail(s.Email);
    if (!s.Telefon.empty()) person.SetTelefon(s.Telefon);
  } else {
    auto company = subject.OsobaNiefizyczna();
    company.SetNIP(s.NIP);
    company.SetPelnaNazwa(s.Nazwa);
    company.SetEmail(s.Email);
    if (!s.Telefon.empty()) company.SetTelefon(s.Telefon);
  }
}

// ---------------------------------------------------------------- JPK_FA

void PrepareFADocument(fa::IXMLJPKFA root) {
  xml::XmlNode(root.Node()).DeclareNamespace("etd", kEtdFA);
  SetUtf8(root.OwnerDocument());
}

void FillFAHeader(const AppContext& ctx, fa::IXMLJPKFA root, const CreationTime& now) {
  const AppSettings& s = ctx.AppSettings;
  auto header = root.Naglowek();
  header.KodFormularza().SetText("JPK_FA");
  header.KodFormularza().SetKodSystemowy("JPK_FA (4)");
  header.KodFormularza().SetWersjaSchemy("1-0");
  header.SetWariantFormularza(4);
  header.SetCelZlozenia(1);
  header.SetDataWytworzeniaJPK(now.Text());
  header.SetDataOd(DayText(FirstDayOfMonth(s.CurDate)));
  header.SetDataDo(DayText(LastDayOfMonth(s.CurDate)));
  header.SetKodUrzedu(s.USCode);

  auto subject = root.Podmiot1();
  subject.IdentyfikatorPodmiotu().SetNIP(s.NIP);
  subject.IdentyfikatorPodmiotu().SetPelnaNazwa(s.Nazwa);
  FillAddress(s, subject.AdresPodmiotu());
}

// ---------------------------------------------------------------- JPK_MAG and JPK_KR

void PrepareMAGDocument(mag::IXMLJPKMAG root) {
  xml::XmlNode node = root.Node();
  node.DeclareNamespace("etd", kEtd2016);
  node.DeclareNamespace("xsi", kXsiNamespace);
  SetUtf8(root.OwnerDocument());
}

void FillMAGHeader(const AppContext& ctx, mag::IXMLJPKMAG root, const CreationTime& now) {
  Fill2016Header(ctx, root, "JPK_MAG", "JPK_MAG (1)", now);
}

void PrepareKRDocument(kr::IXMLJPKKR root) {
  xml::XmlNode node = root.Node();
  node.DeclareNamespace("etd", kEtd2016);
  node.DeclareNamespace("xsi", kXsiNamespace);
  SetUtf8(root.OwnerDocument());
}

void FillKRHeader(const AppContext& ctx, kr::IXMLJPKKR root, const CreationTime& now) {
  Fill2016Header(ctx, root, "JPK_KR", "JPK_KR (1)", now);
}

// ---------------------------------------------------------------- backups and repair

namespace {

// The backup's name: the prefix and the file's name in the "backup" subfolder
// of its folder (made when missing), or in the folder itself.
std::string BackupNameFor(const std::filesystem::path& file, char prefix) {
  std::filesystem::path folder = file.parent_path();
  std::filesystem::path backupDir = folder / "backup";
  std::error_code ec;
  if (!std::filesystem::is_directory(backupDir, ec)) std::filesystem::create_directories(backupDir, ec);
  if (!std::filesystem::is_directory(backupDir, ec)) backupDir = folder;
  return (backupDir / (std::string(1, prefix) + file.filename().string())).string();
}

}  // namespace

std::string BackupJpkFile(const std::string& fileName, char prefix) {
  std::filesystem::path file(fileName);
  std::string backupName = BackupNameFor(file, prefix);
  std::error_code ec;
  if (std::filesystem::exists(backupName, ec)) {
    if (!std::filesystem::remove(backupName, ec) || ec) {
      throw Error(Format("Nie można usunąć starej kopii zapasowej %s: %s", backupName.c_str(),
                         SystemErrorText(ec ? ec.value() : EACCES).c_str()));
    }
  }
  std::filesystem::rename(file, backupName, ec);
  if (ec) {
    throw Error(
        Format("Nie można utworzyć kopii zapasowej %s: %s", backupName.c_str(), SystemErrorText(ec.value()).c_str()));
  }
  return backupName;
}

namespace {

// Whether two files hold the same bytes, read piece by piece.
bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  if (!x || !y) return false;
  std::vector<char> p(1 << 16), q(1 << 16);
  while (true) {
    x.read(p.data(), static_cast<std::streamsize>(p.size()));
    y.read(q.data(), static_cast<std::streamsize>(q.size()));
    if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin())) return false;
    if (x.gcount() == 0 || (!x && !y)) return x.eof() && y.eof();
  }
}

}  // namespace

std::string CopyJpkFileToBackup(const std::string& fileName, char prefix) {
  namespace fs = std::filesystem;
  const fs::path first = BackupNameFor(fileName, prefix);
  auto failed = [&](const fs::path& name, const std::string& reason) {
    return Error("Nie udało się utworzyć kopii zapasowej pliku " + fileName + " (" + reason + "):\r" + name.string());
  };
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw failed(first, SystemErrorText(errno));
  std::error_code sizeError;
  const uintmax_t size = fs::file_size(fileName, sizeError);
  // An earlier backup is never replaced: the same bytes need no new copy,
  // other bytes get the next free number ("~luty-2.xml").
  fs::path backup = first;
  for (int n = 2;; ++n) {
    std::error_code ec;
    if (!fs::exists(backup, ec)) break;
    // A folder in the way, or other bytes: the next number.
    if (fs::is_regular_file(backup, ec) && !sizeError && fs::file_size(backup, ec) == size && !ec &&
        SameBytes(backup, fileName)) {
      return backup.string();
    }
    backup = first.parent_path() / (first.stem().string() + "-" + std::to_string(n) + first.extension().string());
  }
  // Written whole or not at all, copied piece by piece.
  try {
    TempFile work(backup);
    {
      std::ofstream out(work.Path(), std::ios::binary | std::ios::trunc);
      std::vector<char> piece(1 << 16);
      while (in && out) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        out.write(piece.data(), in.gcount());
      }
      const bool readFailed = in.bad();
      out.flush();
      const int error = readFailed ? EIO : out ? FileFault(FileStep::Copy) : (errno ? errno : EIO);
      if (error) throw Error(SystemErrorText(error));
    }
    std::error_code ec;
    if (const int injected = FileFault(FileStep::Rename)) ec.assign(injected, std::generic_category());
    if (!ec) fs::rename(work.Path(), backup, ec);
    if (ec) throw Error(SystemErrorText(ec.value()));
  } catch (const Error& e) {
    throw failed(backup, ErrorReason(e));
  }
  return backup.string();
}

namespace {

void CopyAttributesForRepair(xml::XmlDocument target, std::string_view mainNamespace, xml::XmlNode copy,
                             const xml::XmlNode& node) {
  xml::XmlNode targetRoot = target.DocumentElement();
  for (int i = 0; i < node.AttributeCount(); ++i) {
    xml::XmlNode attribute = node.AttributeAt(i);
    // Namespace declarations of the old file whose URI the new root
    // already declares are dropped.
    if (!targetRoot.IsNull() && targetRoot.LookupPrefix(attribute.NodeValue()).has_value()) continue;
    copy.SetAttributeNode(CloneNodeForRepair(target, mainNamespace, attribute, false));
  }
}

}  // namespace

xml::XmlNode CloneNodeForRepair(xml::XmlDocument target, std::string_view mainNamespace, const xml::XmlNode& node,
                                bool deep) {
  using xml::XmlNodeKind;
  switch (node.Kind()) {
    case XmlNodeKind::Element: {
      std::string ns = node.NamespaceURI();
      std::string name = node.LocalName();
      if (ns != mainNamespace && !ns.empty()) {
        xml::XmlNode targetRoot = target.DocumentElement();
        xml::XmlNode declaration = targetRoot.FindNamespaceDecl(ns);
        if (declaration.IsNull() || declaration.LocalName() == "xmlns") {
          // A namespace the new root does not declare: declare it there under
          // the element's own prefix, or a fresh one, so nothing is lost.
          std::string prefix = node.Prefix();
          for (int n = 1; prefix.empty() || !targetRoot.LookupNamespaceURI(prefix).empty(); ++n) {
            prefix = "ns" + std::to_string(n);
          }
          targetRoot.DeclareNamespace(prefix, ns);
          declaration = targetRoot.FindNamespaceDecl(ns);
        }
        name = declaration.LocalName() + ":" + name;
      }
      xml::XmlNode copy = target.CreateElement(name, ns);
      CopyAttributesForRepair(target, mainNamespace, copy, node);
      if (deep) {
        for (xml::XmlNode child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
          copy.AppendChild(CloneNodeForRepair(target, mainNamespace, child, true));
        }
      }
      return copy;
    }
    case XmlNodeKind::Attribute: {
      xml::XmlNode copy = target.CreateAttribute(node.NodeName(), node.NamespaceURI());
      copy.SetNodeValue(node.NodeValue());
      return copy;
    }
    case XmlNodeKind::Text: return target.CreateTextNode(node.NodeValue());
    case XmlNodeKind::CData: return target.CreateCDataSection(node.NodeValue());
    case XmlNodeKind::Comment: return target.CreateComment(node.NodeValue());
    case XmlNodeKind::EntityReference: return target.CreateEntityReference(node.NodeName());
    case XmlNodeKind::ProcessingInstruction:
      return target.CreateProcessingInstruction(node.NodeName(), node.NodeValue());
    case XmlNodeKind::DocumentFragment: {
      xml::XmlNode copy = target.CreateDocumentFragment();
      if (deep) {
        for (xml::XmlNode child = node.FirstChild(); !child.IsNull(); child = child.NextSibling()) {
          copy.AppendChild(CloneNodeForRepair(target, mainNamespace, child, true));
        }
      }
      return copy;
    }
    default: throw Error("Invalid node type");
  }
}

namespace {

// With consume, each child of the source is freed once copied: the two trees
// of a large file are not held whole at once.
void CopyChildren(xml::XmlDocument target, std::string_view mainNamespace, xml::XmlNode targetNode,
                  xml::XmlNode sourceNode, bool consume) {
  // Under an element of the main namespace without prefix, an element of
  // that namespace is made in place: the same element, without declaring
  // the namespace on it and reconciling it away again.
  const bool mainParent = targetNode.Kind() == xml::XmlNodeKind::Element &&
                          targetNode.NamespaceURI() == mainNamespace && targetNode.Prefix().empty();
  for (xml::XmlNode child = sourceNode.FirstChild(); !child.IsNull();) {
    xml::XmlNode copy;
    if (mainParent && child.Kind() == xml::XmlNodeKind::Element && child.NamespaceURI() == mainNamespace) {
      copy = targetNode.AddChild(child.LocalName());
      CopyAttributesForRepair(target, mainNamespace, copy, child);
    } else {
      copy = targetNode.AppendChild(CloneNodeForRepair(target, mainNamespace, child, false));
    }
    const xml::XmlNode first = child.FirstChild();
    if (child.Kind() == xml::XmlNodeKind::Element && first.Kind() == xml::XmlNodeKind::Text &&
        first.NextSibling().IsNull()) {
      // The one text of an element (most of a JPK file) set as its text: the
      // new document stays known to be in the shape its save writes.
      copy.SetText(first.NodeValue());
    } else if (!first.IsNull()) {
      CopyChildren(target, mainNamespace, copy, child, consume);
    }
    xml::XmlNode next = child.NextSibling();
    if (consume) sourceNode.DeleteChild(child);
    child = next;
  }
}

}  // namespace

void CopyChildrenForRepair(xml::XmlDocument target, std::string_view mainNamespace, xml::XmlNode targetNode,
                           const xml::XmlNode& sourceNode) {
  CopyChildren(target, mainNamespace, targetNode, sourceNode, false);
}

bool RepairV7MPrefixes(AppContext& ctx, v7m::IXMLJPK& root, const std::string& fileName) {
  return RepairPrefixes(ctx, root, fileName, v7m::kTargetNamespace, &v7m::NewJPK,
                        [](v7m::IXMLJPK r) { PrepareV7MDocument(r); });
}

bool RepairFAPrefixes(AppContext& ctx, fa::IXMLJPKFA& root, const std::string& fileName) {
  return RepairPrefixes(ctx, root, fileName, fa::kTargetNamespace, &fa::NewJPKFA,
                        [](fa::IXMLJPKFA r) { PrepareFADocument(r); });
}

// ---------------------------------------------------------------- saving

namespace {

// The file the document was read from or last saved to, however named.
bool IsDocumentFile(const AppContext& ctx, const std::string& fileName) {
  if (ctx.JpkFileName.empty()) return false;
  std::error_code ownError, chosenError;
  const auto own = std::filesystem::canonical(ctx.JpkFileName, ownError);
  const auto chosen = std::filesystem::canonical(fileName, chosenError);
  return !ownError && !chosenError && own == chosen;
}

// Whether a save may write the file: a new name or the document's own file
// at once; another existing file after a Yes and a backup copy of it.
bool ReplaceExistingFile(AppContext& ctx, const std::string& fileName) {
  std::error_code ec;
  if (!std::filesystem::exists(fileName, ec) || IsDocumentFile(ctx, fileName)) return true;
  const std::string fullName = std::filesystem::absolute(fileName, ec).string();
  if (ctx.ui.Ask(ui::BoxKind::Confirmation, "Plik " + (ec ? fileName : fullName) + " istnieje. Zastąpić?",
                 {ui::Button::Yes, ui::Button::No}, ui::Button::No) != ui::Button::Yes) {
    return false;
  }
  try {
    CopyJpkFileToBackup(fileName, '~');
  } catch (const Error& e) {
    ctx.ui.Show(ui::BoxKind::Error, std::string(e.what()) + "\rPlik nie został zapisany.");
    return false;
  }
  return true;
}

}  // namespace

void SetSaveCheck(SaveCheck check) { TheSaveCheck() = std::move(check); }

void SaveV7MFile(v7m::IXMLJPK& root, const std::string& fileName) { SaveWhole(root, fileName); }

void SaveFAFile(fa::IXMLJPKFA& root, const std::string& fileName) { SaveWhole(root, fileName); }

void SaveMAGFile(mag::IXMLJPKMAG& root, const std::string& fileName) { SaveWhole(root, fileName); }

void SaveKRFile(kr::IXMLJPKKR& root, const std::string& fileName) { SaveWhole(root, fileName); }

JpkFileWriter::JpkFileWriter(const xml::XmlNode& root, const std::string& fileName)
    : m_fileName(fileName), m_kind(JpkKindOfNamespace(root.NamespaceURI())) {
  const std::filesystem::path target(fileName);
  try {
    m_work = std::make_unique<TempFile>(target);
    GiveFinalMode(m_work->Path(), target);
    m_out = std::make_unique<xml::XmlStreamedSave>(root.OwnerDocument(), m_work->Path());
    const SaveCheck& check = TheSaveCheck();
    const std::filesystem::path schemas = check.schemas && check.report ? check.schemas() : std::filesystem::path();
    if (!schemas.empty() && !m_kind.empty()) {
      m_check = std::make_unique<StreamValidation>(schemas, m_kind);
      m_out->SetWritten([check = m_check.get()](std::string_view text) { check->Add(text); });
    }
  } catch (const Error& e) {
    FailSave(fileName, e);
  }
}

JpkFileWriter::~JpkFileWriter() = default;

void JpkFileWriter::Write() {
  try {
    m_out->WriteChildren();
  } catch (const Error& e) {
    FailSave(m_fileName, e);
  }
}

void JpkFileWriter::Made() {
  constexpr int kBatch = 4096;
  if (++m_made % kBatch == 0) Write();
}

void JpkFileWriter::Finish() {
  try {
    m_out->Finish();
    if (m_check) {
      try {
        m_outcome.errors = m_check->Finish();
      } catch (const Error& e) {
        m_outcome.failure = e.what();
      }
    }
    m_finished = true;
  } catch (const Error& e) {
    FailSave(m_fileName, e);
  }
}

void JpkFileWriter::Place(const std::string& fileName) {
  const std::string target = fileName.empty() ? m_fileName : fileName;
  if (!m_finished) throw Error("Brak aktywnego pliku " + m_kind.substr(0, m_kind.find('(')));
  m_finished = false;  // placed or, after a failure, gone
  try {
    // Under another name the private file moves beside it first (a copy
    // when it lies on another file system).
    std::unique_ptr<TempFile> moved;
    if (target != m_fileName) {
      moved = std::make_unique<TempFile>(target);
      std::error_code ec;
      std::filesystem::rename(m_work->Path(), moved->Path(), ec);
      if (ec == std::errc::cross_device_link) {
        ec.clear();
        std::filesystem::copy_file(m_work->Path(), moved->Path(), std::filesystem::copy_options::overwrite_existing,
                                   ec);
      }
      if (ec) throw Error(SystemErrorText(ec.value()));
      GiveFinalMode(moved->Path(), target);
    }
    const std::filesystem::path& made = moved ? moved->Path() : m_work->Path();
    const SaveCheck& check = TheSaveCheck();
    if (m_check && check.report) check.report(m_outcome, target);
    PutInPlace(made, target);
  } catch (const Error& e) {
    m_work.reset();  // nothing private stays behind
    FailSave(target, e);
  }
}

void FormatAndSaveV7M(v7m::IXMLJPK& root, const std::string& fileName) {
  FormatAndSave(
      root, fileName, "Błąd formatowania pliku JPK_V7M", [](xml::XmlDocument d) { return v7m::GetJPKRoot(d); },
      [](const std::string& f) { return v7m::LoadJPK(f); });
}

void FormatAndSaveFA(fa::IXMLJPKFA& root, const std::string& fileName) {
  FormatAndSave(
      root, fileName, "Błąd formatowania pliku JPK_FA", [](xml::XmlDocument d) { return fa::GetJPKRoot(d); },
      [](const std::string& f) { return fa::LoadJPKFA(f); });
}

void FormatAndSaveMAG(mag::IXMLJPKMAG& root, const std::string& fileName) {
  FormatAndSave(
      root, fileName, "Błąd formatowania pliku JPK_MAG", [](xml::XmlDocument d) { return mag::GetJPKRoot(d); },
      [](const std::string& f) { return mag::LoadJPKMAG(f); });
}

void FormatAndSaveKR(kr::IXMLJPKKR& root, const std::string& fileName) {
  FormatAndSave(
      root, fileName, "Błąd formatowania pliku JPK_KR", [](xml::XmlDocument d) { return kr::GetJPKRoot(d); },
      [](const std::string& f) { return kr::LoadJPKKR(f); });
}

std::optional<std::string> AskSaveFileName(AppContext& ctx, const std::string& suffix, bool proposeEveryTime) {
  ui::FileDialogState& dialog = ctx.SaveDlg;
  if (dialog.fileName.empty()) {
    dialog.initialDir = ctx.AppSettings.SaveDir;
    dialog.fileName = ProposedFileName(ctx, suffix);
  } else if (proposeEveryTime) {
    dialog.fileName = ProposedFileName(ctx, suffix);
  }
  auto chosen = ctx.ui.ChooseSaveFile(dialog);
  if (!chosen) return std::nullopt;
  std::string fileName = *chosen;
  if (std::filesystem::path(fileName).extension().empty() && !dialog.defaultExt.empty()) {
    fileName += "." + dialog.defaultExt;
  }
  dialog.fileName = fileName;
  if (!ReplaceExistingFile(ctx, fileName)) return std::nullopt;
  return fileName;
}

std::string ProposedFileName(const AppContext& ctx, const std::string& suffix) {
  const Date& d = ctx.AppSettings.CurDate;
  return Format("%04d-%02d", d.year, d.month) + suffix + ctx.AppSettings.NameSufix;
}

bool SaveFAAs(AppContext& ctx, fa::IXMLJPKFA& root) {
  return SaveAs(ctx, root, "Brak aktywnego pliku JPK_FA", "_JPK_FA", false);
}

bool SaveMAGAs(AppContext& ctx, mag::IXMLJPKMAG& root) {
  return SaveAs(ctx, root, "Brak aktywnego pliku JPK_MAG", "_JPK_MAG", false);
}

bool SaveKRAs(AppContext& ctx, kr::IXMLJPKKR& root) {
  return SaveAs(ctx, root, "Brak aktywnego pliku JPK_KR", "_JPK_KR", true);
}

bool SaveKRAs(AppContext& ctx, KRFileWriter& made) {
  return SaveAs(ctx, "_JPK_KR", true, [&made](const std::string& fileName) { made.Place(fileName); });
}

}  // namespace kx::jpk
