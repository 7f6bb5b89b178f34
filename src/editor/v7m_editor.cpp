#include "editor/v7m_editor.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "app/kxTools.h"
#include "platform/error.h"
#include "editor/line_breaks.h"
#include "jpk/v7m/v7m_order.h"
#include "jpk/v7m/v7m_records.h"
#include "jpk/files/jpkTools.h"
#include "platform/decimal_text.h"
#include "platform/temp_file.h"
#include "platform/text_utils.h"
#include "platform/xml/xml_document.h"

namespace kx::editor {
using namespace jpk::v7m;  // the JPK_V7M record helpers

namespace {

namespace fs = std::filesystem;

constexpr const char* kWrongStructure = "Zła struktura pliku. Brak zgodności z JPK_V7M (3)";

// The display reads whatever the file holds: a value that is not a number
// counts as 0 instead of stopping the display.
int64_t ShownInt(const xml::XmlNode& element, std::string_view name) {
  try {
    return ChildInt(element, name);
  } catch (const Error&) {
    return 0;
  }
}

int64_t ShownCents(const xml::XmlNode& element, std::string_view name) {
  try {
    xml::XmlNode child = element.IsNull() ? xml::XmlNode() : element.FindChild(name);
    return child.IsNull() ? 0 : AmountCents(child.Text());
  } catch (const Error&) {
    return 0;
  }
}

std::string ShownDecimal(const xml::XmlNode& element, std::string_view name) {
  return DecimalText(static_cast<double>(ShownCents(element, name)) / 100);
}

// The check of a declared tax D against the records' total E (in grosze).
TaxCheck MakeCheck(const char* pattern, int64_t declared, int64_t recordCents) {
  TaxCheck c;
  c.shown = true;
  double records = static_cast<double>(recordCents) / 100;
  c.ok = declared == RoundCentsAway(recordCents);
  c.color = c.ok ? FieldColor::Face : FieldColor::Red;
  const double difference = RoundAmount(kAmountDecimals, static_cast<double>(declared) - records);
  c.hint = Format(pattern, static_cast<long long>(declared), records, difference);
  c.difference = DecimalText(difference);
  return c;
}

bool IsV7MDocument(const xml::XmlDocument& document) {
  xml::XmlNode root = document.DocumentElement();
  return !root.IsNull() && root.LocalName() == "JPK" && root.NamespaceURI() == jpk::v7m::kTargetNamespace;
}

// Two names of one file (both existing), or the same name.
bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  if (fs::exists(a, ec) && fs::exists(b, ec)) return fs::equivalent(a, b, ec);
  return fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal();
}

struct PeriodAndNip {
  std::string nip, period;
};

// The subject's NIP and the period "yyyy-mm" of a document, as the window shows them.
PeriodAndNip PeriodAndNipOf(const IXMLJPK& jpk) {
  PeriodAndNip r;
  xml::XmlNode root = jpk.Node();
  xml::XmlNode subject = root.FindChild("Podmiot1");
  if (!subject.IsNull()) {
    xml::XmlNode person = subject.FindChild("OsobaFizyczna");
    r.nip = !person.IsNull() ? jpk::v7m::IXMLTPodmiotDowolnyBezAdresu_OsobaFizyczna(person).NIP()
                             : ChildText(subject.FindChild("OsobaNiefizyczna"), "NIP");
  }
  xml::XmlNode header = root.FindChild("Naglowek");
  r.period = Format("%s-%.2d", ChildText(header, "Rok").c_str(), static_cast<int>(ShownInt(header, "Miesiac")));
  return r;
}

std::string FolderWithSeparator(const std::string& fileName) {
  fs::path folder = fs::path(fileName).parent_path();
  if (folder.empty()) return {};
  std::string text = folder.string();
  if (text.back() != fs::path::preferred_separator) text += fs::path::preferred_separator;
  return text;
}

// The file with its line breaks removed, read through a working copy (so
// that its declared encoding is honoured); the file itself is not touched.
xml::XmlDocument LoadCleanCopy(const std::string& fileName, const fs::path& workingDir) {
  RequireRegularFile(fileName);
  std::ifstream in(fileName, std::ios::binary);
  if (!in) throw Error(Format("Nie można odczytać pliku %s", fileName.c_str()));
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  TempFile working(workingDir, "_tmp_V7M", ".xml");  // private to this run
  const fs::path& copy = working.Path();
  {
    const std::string cleaned = RemoveLineBreaks(bytes);
    std::FILE* out = std::fopen(copy.c_str(), "wb");
    int error = out ? 0 : errno;
    if (out && std::fwrite(cleaned.data(), 1, cleaned.size(), out) != cleaned.size()) error = errno;
    if (out && std::fflush(out) != 0 && !error) error = errno;
    if (out && std::fclose(out) != 0 && !error) error = errno;
    if (error) {
      throw Error(Format("Nie można wczytać pliku %s: %s (kopia robocza %s)", fileName.c_str(),
                         SystemErrorText(error).c_str(), copy.string().c_str()));
    }
  }
  try {
    return xml::XmlDocument::FromFile(copy);
  } catch (const Error&) {
    // The message names the file the user gave.
    return xml::XmlDocument::FromFile(fileName);
  }
}

}  // namespace

DeclarationInput DeclarationInputFrom(const EditorInfo& info) {
  DeclarationInput in;
  in.p39 = info.p39;
  in.p49 = info.p49;
  in.p50 = info.p50;
  in.p52 = info.p52;
  in.p54 = info.p54;
  in.refund = info.p54.empty() ? RefundTerm::None : info.refund;
  in.p59 = info.p59;
  in.p60 = info.p60;
  in.p61 = info.p61;
  in.ordzu = info.ordzu;
  return in;
}

bool TypedDeclarationDiffers(const DeclarationInput& typed, const EditorInfo& shown) {
  const DeclarationInput held = DeclarationInputFrom(shown);
  auto amountDiffers = [](const std::string& a, const std::string& b) {
    bool fa = false, fb = false;
    std::optional<int64_t> va = ParseWholeAmount(a, fa), vb = ParseWholeAmount(b, fb);
    if (Trim(a).empty() || Trim(b).empty()) return Trim(a).empty() != Trim(b).empty();
    if (va && vb && !fa && !fb) return *va != *vb;
    return Trim(a) != Trim(b);
  };
  for (auto field : {&DeclarationInput::p39, &DeclarationInput::p49, &DeclarationInput::p50, &DeclarationInput::p52,
                     &DeclarationInput::p54, &DeclarationInput::p60}) {
    if (amountDiffers(typed.*field, held.*field)) return true;
  }
  if (Trim(typed.p61) != Trim(held.p61) || Trim(typed.ordzu) != Trim(held.ordzu)) return true;
  const RefundTerm typedTerm = Trim(typed.p54).empty() ? RefundTerm::None : typed.refund;
  return typedTerm != held.refund || typed.p59 != held.p59;
}

V7MEditor::V7MEditor(AppContext& ctx, fs::path workingDir) : m_ctx(ctx), m_workingDir(std::move(workingDir)) {}

bool V7MEditor::Modified() const { return HasDocument() && m_jpk.OwnerDocument().Modified(); }

void V7MEditor::SetFileName(const std::string& fileName) {
  m_fileName = fileName;
  m_ctx.JpkFileName = fileName;
}

void V7MEditor::Recalc(IXMLJPK jpk) {
  ui::BusyCursor busy(m_ctx.ui);
  RecalcJPK(jpk);
}

ui::ModalResult V7MEditor::AskSaveChanges() {
  if (!Modified()) return ui::ModalResult::Ok;
  ui::Button answer = m_ctx.ui.Ask(ui::BoxKind::Confirmation, "Zapisać dokonane zmiany?",
                                   {ui::Button::Yes, ui::Button::No}, ui::Button::Yes);
  if (answer == ui::Button::Yes) {
    // A cancelled save dialog cancels the action that asked.
    return Save() ? ui::ModalResult::Yes : ui::ModalResult::Cancel;
  }
  return answer == ui::Button::No ? ui::ModalResult::No : ui::ModalResult::Cancel;
}

bool V7MEditor::CloseQuery() {
  if (!Modified()) return true;
  ui::Button answer = m_ctx.ui.Ask(ui::BoxKind::Confirmation, "Zapisać dokonane zmiany?",
                                   {ui::Button::Yes, ui::Button::No}, ui::Button::Yes);
  // The document stays with the session either way; only a save the user
  // started and then cancelled keeps the window open.
  return answer != ui::Button::Yes || Save();
}

bool V7MEditor::ProgramCloseQuery() {
  if (!Modified()) return true;
  ui::Button answer =
      m_ctx.ui.Ask(ui::BoxKind::Confirmation, "Plik JPK_V7M " + m_fileName + " ma niezapisane zmiany.\rZapisać je?",
                   {ui::Button::Yes, ui::Button::No, ui::Button::Cancel}, ui::Button::Yes);
  if (answer == ui::Button::Yes) return Save();
  return answer == ui::Button::No;
}

ui::ModalResult V7MEditor::AskNewOrLink() {
  ui::ModalResult result = NewOrLinkChoice();
  if (result == ui::ModalResult::No) {
    Drop();
    return ui::ModalResult::Ok;
  }
  return result;
}

ui::ModalResult V7MEditor::NewOrLinkChoice() {
  if (!HasDocument()) return ui::ModalResult::Ok;
  ui::ModalResult result = ui::ModalResult::Cancel;
  if (askNewOrLink) {
    result = askNewOrLink();
  } else {
    ui::Button b = m_ctx.ui.Ask(ui::BoxKind::Confirmation, "Wczytaj plik jako...\rTak: Połącz pliki\rNie: Nowy plik",
                                {ui::Button::Yes, ui::Button::No, ui::Button::Cancel}, ui::Button::Yes);
    result = b == ui::Button::Yes  ? ui::ModalResult::Yes
             : b == ui::Button::No ? ui::ModalResult::No
                                   : ui::ModalResult::Cancel;
  }
  return result;
}

bool V7MEditor::OpenCommand() {
  if (AskSaveChanges() == ui::ModalResult::Cancel) return false;
  if (AskNewOrLink() == ui::ModalResult::Cancel) return false;
  auto chosen = m_ctx.ui.ChooseOpenFile(m_ctx.OpenDlg);
  if (!chosen) return false;
  return OpenFile(*chosen);
}

IXMLJPK V7MEditor::LoadForEditor(const std::string& fileName) {
  RequireRegularFile(fileName);  // a folder or a device is refused before any reading
  // The file is cleaned up in place only once it is known to be a JPK_V7M(3)
  // document (the prefix repair asks first and checks the kind itself).
  std::error_code ec;
  const bool inPlace = m_ctx.AppSettings.ClearEnter && cleanUpInPlace && fs::is_regular_file(fileName, ec);
  xml::XmlDocument document;
  if (inPlace) {
    CleanedFile cleaned = CleanLineBreaksAndRead(fileName, m_ctx.ui, IsV7MDocument);
    if (cleaned.status == CleanUp::Refused) {
      m_ctx.ui.Show(ui::BoxKind::Error, kWrongStructure);
      return {};
    }
    document = cleaned.document ? std::move(*cleaned.document) : xml::XmlDocument::FromFile(fileName);
  } else if (m_ctx.AppSettings.ClearEnter && !cleanUpInPlace) {
    document = LoadCleanCopy(fileName, m_workingDir);
  } else {
    if (m_ctx.AppSettings.ClearEnter) CleanLineBreaks(fileName, m_ctx.ui);
    document = xml::XmlDocument::FromFile(fileName);
  }
  if (!IsV7MDocument(document)) {
    m_ctx.ui.Show(ui::BoxKind::Error, kWrongStructure);
    return {};
  }
  if (document.DroppedDoctype()) {
    m_ctx.ui.Show(ui::BoxKind::Warning,
                  Format("Plik %s zawiera deklarację DOCTYPE, której plik JPK nie może mieć; przy zapisie zostanie "
                         "pominięta",
                         fileName.c_str()));
  }
  IXMLJPK loaded = jpk::v7m::GetJPKRoot(document);
  jpk::RepairV7MPrefixes(m_ctx, loaded, fileName);
  xml::XmlNode subject = loaded.Node().FindChild("Podmiot1");
  if (!subject.IsNull() && !subject.HasAttribute("rola")) {
    subject.SetAttribute("rola", "Podatnik");
    m_ctx.ui.Show(ui::BoxKind::Information,
                  "Dodano brakujący atrybut: \"Rola\" w węźle XML:\r<Podmiot1 rola=\"Podatnik\">");
  }
  std::string folder = FolderWithSeparator(fileName);
  m_ctx.OpenDlg.initialDir = folder;
  m_ctx.SaveDlg.initialDir = folder;
  return loaded;
}

bool V7MEditor::OpenFile(const std::string& fileName) {
  bool linking = HasDocument();
  if (!LinkFile(fileName)) return false;
  if (linking) AskSaveChanges();
  return true;
}

bool V7MEditor::LinkFile(const std::string& fileName) {
  if (HasDocument() && SameFile(fileName, m_fileName)) {
    m_ctx.ui.Show(ui::BoxKind::Error, "Nie można połączyć pliku z nim samym:\r" + fileName);
    return false;
  }
  IXMLJPK loaded = LoadForEditor(fileName);
  if (loaded.IsNull()) return false;
  if (HasDocument() && !ConfirmLink(loaded)) return false;
  if (HasDocument()) {
    {
      ui::BusyCursor busy(m_ctx.ui);
      LinkJPK(m_jpk, loaded);
    }
    SetFileName(kNewFileName);
    m_ctx.SaveDlg.fileName.clear();
    m_ctx.ui.Show(ui::BoxKind::Information, "Pomyślnie połączono pliki JPK:\r" + m_fileName);
  } else {
    // Recalculated before it becomes active: a failure leaves the editor as it was.
    try {
      Recalc(loaded);
    } catch (const Error& e) {
      // A number the file holds in a wrong form is named with the file; the
      // system's own checks keep their texts.
      if (std::string(e.what()).find("nie jest poprawną liczbą") == std::string::npos) throw;
      throw Error(Format("Plik %s: %s", fileName.c_str(), e.what()));
    }
    m_jpk = loaded;
    SetFileName(fileName);
    m_ctx.SaveDlg.fileName = fileName;
  }
  return true;
}

bool V7MEditor::ConfirmLink(const IXMLJPK& other) {
  const PeriodAndNip mine = PeriodAndNipOf(m_jpk), theirs = PeriodAndNipOf(other);
  const bool otherNip = mine.nip != theirs.nip;
  const bool otherMonth = mine.period != theirs.period;
  if (!otherNip && !otherMonth) return true;
  std::string what = otherNip && otherMonth ? "innego NIP i innego miesiąca"
                     : otherNip             ? "innego NIP"
                                            : "innego miesiąca";
  std::string text = "Plik dotyczy " + what + ". Połączyć mimo to?\rOtwarty: NIP " + mine.nip + ", " + mine.period +
                     "\rŁączony: NIP " + theirs.nip + ", " + theirs.period;
  return m_ctx.ui.Ask(ui::BoxKind::Confirmation, text, {ui::Button::Yes, ui::Button::No}, ui::Button::No) ==
         ui::Button::Yes;
}

bool V7MEditor::AcceptGenerated(IXMLJPK generated, bool replace) {
  const bool link = HasDocument() && !replace;
  if (link && !ConfirmLink(generated)) return false;
  if (link) {
    ui::BusyCursor busy(m_ctx.ui);
    LinkJPK(m_jpk, generated);
  } else {
    Recalc(generated);
    m_jpk = generated;
  }
  SetFileName(kNewFileName);
  m_ctx.SaveDlg.fileName.clear();
  return true;
}

bool V7MEditor::AcceptGenerated(IXMLJPK generated, bool declaration, const std::optional<DeclarationInput>& typed,
                                bool replace) {
  if (!generated.IsNull() && !AcceptGenerated(generated, replace)) return false;
  if (declaration && HasDocument()) RecalcDeclaration(typed ? *typed : DeclarationInputFrom(RefreshInfo()));
  return true;
}

void V7MEditor::Drop() { m_jpk = IXMLJPK(); }

bool V7MEditor::Save() {
  if (!HasDocument()) return false;
  if (!m_jpk.OwnerDocument().Active()) throw Error("Brak aktywnego pliku JPK");
  xml::XmlNode header = EnsureChildInOrder(m_jpk.Node(), "Naglowek", kRootOrder);
  SetChildInOrder(header, "DataWytworzeniaJPK", jpk::CreationTime::Now().Text(), kHeaderOrder);
  auto chosen = jpk::AskSaveFileName(m_ctx, kV7MSaveSuffix);
  if (!chosen) return false;
  const std::string& fileName = *chosen;
  ui::BusyCursor busy(m_ctx.ui);
  jpk::SaveV7MFile(m_jpk, fileName);
  SetFileName(fileName);
  return true;
}

void V7MEditor::SaveTo(const std::string& fileName) {
  if (!HasDocument() || !m_jpk.OwnerDocument().Active()) throw Error("Brak aktywnego pliku JPK");
  xml::XmlNode header = EnsureChildInOrder(m_jpk.Node(), "Naglowek", kRootOrder);
  SetChildInOrder(header, "DataWytworzeniaJPK", jpk::CreationTime::Now().Text(), kHeaderOrder);
  ui::BusyCursor busy(m_ctx.ui);
  jpk::SaveV7MFile(m_jpk, fileName);
  SetFileName(fileName);
}

EditorInfo V7MEditor::RefreshInfo() const {
  EditorInfo info;
  info.caption = m_fileName + " - " + kProgramTitle;
  if (Modified() && info.caption.rfind('*', 0) != 0) info.caption = "*" + info.caption;
  if (!HasDocument()) return info;

  xml::XmlNode root = m_jpk.Node();
  xml::XmlNode header = root.FindChild("Naglowek");
  const PeriodAndNip shown = PeriodAndNipOf(m_jpk);
  info.nip = shown.nip;
  info.generatedAt = ChildText(header, "DataWytworzeniaJPK");
  info.dateRange = shown.period;

  xml::XmlNode records = root.FindChild("Ewidencja");
  xml::XmlNode saleCtrl = records.IsNull() ? xml::XmlNode() : records.FindChild("SprzedazCtrl");
  xml::XmlNode purchaseCtrl = records.IsNull() ? xml::XmlNode() : records.FindChild("ZakupCtrl");
  if (!saleCtrl.IsNull()) {
    info.saleTax = ShownDecimal(saleCtrl, "PodatekNalezny");
    info.saleCount = ChildText(saleCtrl, "LiczbaWierszySprzedazy");
  }
  if (!purchaseCtrl.IsNull()) {
    info.purchaseTax = ShownDecimal(purchaseCtrl, "PodatekNaliczony");
    info.purchaseCount = ChildText(purchaseCtrl, "LiczbaWierszyZakupow");
  }

  xml::XmlNode declaration = root.FindChild("Deklaracja");
  if (!declaration.IsNull()) {
    xml::XmlNode p = declaration.FindChild("PozycjeSzczegolowe");
    info.declarationCaption = "Deklaracja";
    info.p37 = ChildText(p, "P_37");
    info.p38 = ChildText(p, "P_38");
    if (!records.IsNull()) {
      info.check38 = MakeCheck("podatek w deklaracji: %lld, podatek w ewidencji: %f (różnica: %f)", ShownInt(p, "P_38"),
                               ShownCents(saleCtrl, "PodatekNalezny"));
      info.p39 = ChildText(p, "P_39");
      info.p40Plus42 = DecimalText(static_cast<double>(ShownCents(p, "P_40") + ShownCents(p, "P_42")) / 100);
      info.p48 = ChildText(p, "P_48");
      info.check48 = MakeCheck(
          "podatek w deklaracji (bez nadwyżki z poprzedniego m-ca): %lld, podatek w ewidencji: %f (różnica: %f)",
          ShownInt(p, "P_48") - ShownInt(p, "P_39"), ShownCents(purchaseCtrl, "PodatekNaliczony"));
    }
    info.p49 = ChildText(p, "P_49");
    info.p50 = ChildText(p, "P_50");
    info.p49Enabled = info.p50Enabled = ShownInt(p, "P_48") < ShownInt(p, "P_38");
    info.p51 = ChildText(p, "P_51");
    info.p51Bold = ShownInt(p, "P_51") >= 1;
    info.p52 = ChildText(p, "P_52");
    info.p53 = ChildText(p, "P_53");
    info.surplusEnabled = !info.p53.empty() && ShownInt(p, "P_53") > 0;
    info.p54 = ChildText(p, "P_54");
    info.refundTermsEnabled = !info.p54.empty();
    if (!info.p54.empty()) {
      for (RefundTerm t : {RefundTerm::P540, RefundTerm::P55, RefundTerm::P56, RefundTerm::P560, RefundTerm::P58}) {
        if (ChildText(p, std::string("P_") + RefundTermCode(t)) == "1") info.refund = t;
      }
    }
    info.p59 = ChildText(p, "P_59") == "1";
    info.p60Enabled = info.p59;
    if (info.p59) {
      info.p60 = ChildText(p, "P_60");
      info.p61 = ChildText(p, "P_61");
    }
    info.p62 = ChildText(p, "P_62");
    info.p62Bold = !info.p62.empty() && ShownInt(p, "P_62") >= 1;
    info.p68 = ChildText(p, "P_68");
    info.p69 = ChildText(p, "P_69");
    info.ordzu = ChildText(p, "P_ORDZU");
  }
  info.declarationEnabled = true;
  info.receiptSalesEnabled = true;
  info.recalcDeclarationEnabled = true;
  info.clearDeclarationEnabled = !declaration.IsNull();
  return info;
}

DeclarationResult V7MEditor::RecalcDeclaration(const DeclarationInput& input) {
  if (!HasDocument()) throw Error("Brak aktywnego pliku JPK");
  DeclarationResult result;
  {
    ui::BusyCursor busy(m_ctx.ui);
    result = CalcDeclaration(m_jpk, input);
  }
  if (result.status == DeclarationResult::Status::RefundWithoutTerm) {
    m_ctx.ui.Show(ui::BoxKind::Warning, kRefundWithoutTermText);
  } else if (result.status == DeclarationResult::Status::TermWithoutRefund) {
    m_ctx.ui.Show(ui::BoxKind::Warning, kTermWithoutRefundText);
  }
  return result;
}

bool V7MEditor::ClearDeclaration() {
  if (!HasDocument() || m_jpk.Node().FindChild("Deklaracja").IsNull()) return false;
  std::string target = m_fileName;
  if (target.empty() || target == kNewFileName) {
    // A document never saved has no file to write into: the name is asked for.
    auto chosen = jpk::AskSaveFileName(m_ctx, kV7MSaveSuffix);
    if (!chosen) return false;
    target = *chosen;
  }
  ClearDeclarationTo(target);
  return true;
}

void V7MEditor::ClearDeclarationTo(const std::string& fileName) {
  if (!HasDocument()) throw Error("Brak aktywnego pliku JPK");
  IXMLJPK fresh;
  {
    ui::BusyCursor busy(m_ctx.ui);
    fresh = RebuildWithoutDeclaration(m_jpk);
    jpk::SaveV7MFile(fresh, fileName);
  }
  m_jpk = fresh;
  SetFileName(fileName);
  m_ctx.ui.Show(ui::BoxKind::Information, "Zapisano JPK bez części deklaracyjnej do pliku:\r" + m_fileName);
}

bool V7MEditor::AddParagonSale(const std::function<bool(ReceiptFields&)>& dialog) {
  if (!HasDocument()) return false;
  xml::XmlNode record = FindReceiptRecord(m_jpk);
  bool wasModified = Modified();
  bool created = false;
  xml::XmlNode createdRecords;  // Ewidencja, when it was made for the new record
  if (record.IsNull()) {
    if (m_ctx.ui.Ask(ui::BoxKind::Confirmation, "Brak wpisu ze sprzedażą paragonową.\rUtworzyć taką pozycję?",
                     {ui::Button::Yes, ui::Button::No}, ui::Button::Yes) != ui::Button::Yes) {
      return false;
    }
    if (m_jpk.Node().FindChild("Ewidencja").IsNull()) {
      createdRecords = EnsureChildInOrder(m_jpk.Node(), "Ewidencja", kRootOrder);
    }
    record = CreateReceiptRecord(m_jpk, m_ctx.AppSettings);
    created = true;
  }
  // Cancel: a record made here goes again and the document is as it was.
  auto undo = [&] {
    if (!created) return;
    if (!createdRecords.IsNull()) {
      m_jpk.Node().RemoveChild(createdRecords);
    } else {
      record.ParentNode().RemoveChild(record);
    }
    m_jpk.OwnerDocument().SetModified(wasModified);
  };
  ReceiptFields fields = ReadReceiptFields(record);
  bool ok = false;
  try {
    ok = dialog(fields);
  } catch (...) {
    undo();
    throw;
  }
  if (!ok) {
    undo();
    return false;
  }
  WriteReceiptFields(record, fields);
  Recalc(m_jpk);
  return true;
}

}  // namespace kx::editor
