// New documents, headers, backups, prefix repair and the save flows.

#include "jpk/files/jpkTools.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/error.h"
#include "platform/file_faults.h"
#include "platform/xml/xml_document.h"
#include "support/jpk_schema.h"
#include "support/scripted_user_port.h"
#include "support/shared_paths.h"
#include "support/temp_dir.h"
#include "support/two_pass_save.h"

using namespace kx;
using namespace kx::jpk;
namespace fs = std::filesystem;

namespace {

// The scripted port that also keeps the buttons and the default of the last question.
struct QuestionPort : kxtest::ScriptedUserPort {
  std::vector<ui::Button> buttons;
  ui::Button defaultButton = ui::Button::Help;
  ui::Button Ask(ui::BoxKind kind, const std::string& text, const std::vector<ui::Button>& b, ui::Button d) override {
    buttons = b;
    defaultButton = d;
    return ScriptedUserPort::Ask(kind, text, b, d);
  }
};

struct Firm {
  QuestionPort port;
  AppContext ctx{port};
  Firm() {
    AppSettings& s = ctx.AppSettings;
    s.NIP = "7270120002";
    s.Nazwa = "Hurtownia Spożywcza Żuraw Sp. z o.o.";
    s.Email = "biuro@hurtownia-zuraw.pl";
    s.Telefon = "42 630 12 34";
    s.Regon = "470123450";
    s.Wojewodztwo = "łódzkie";
    s.Powiat = "Łódź";
    s.Gmina = "Łódź";
    s.Miasto = "Łódź";
    s.Ulica = "Piotrkowska";
    s.NrDomu = "120";
    s.NrLokalu = "4";
    s.KodPocztowy = "90-006";
    s.Poczta = "Łódź";
    s.USCode = "1009";
    s.NazwaSystemu = "kx2jpk";
    s.CurDate = {2026, 2, 10};
  }
};

const CreationTime kNow{{2026, 3, 2}, 9, 5, 7};

std::string ChildNames(const xml::XmlNode& node) {
  std::string names;
  for (auto c = node.FirstChild(); !c.IsNull(); c = c.NextSibling()) names += c.LocalName() + " ";
  return names;
}

// Saves a document of the kind as a whole and returns the file's text, which
// must be byte for byte what the former two-pass save wrote.
template <typename Root, typename Save>
std::string SaveAndFormat(Root& root, const fs::path& file, Save save) {
  fs::path reference = file;
  reference += ".dwa";
  const std::string twoPasses = kxtest::TwoPassSave(root.OwnerDocument(), reference);
  save(root, file.string());
  std::string text = kxtest::ReadFile(file);
  EXPECT_EQ(text, twoPasses) << file;
  return text;
}

// One invoice with its line and both control sums: a JPK_FA with a header
// becomes a complete file.
void AddOneInvoice(fa::IXMLJPKFA root) {
  auto invoice = root.Faktura().Add();
  invoice.SetKodWaluty("PLN");
  invoice.SetP_1("2026-02-05");
  invoice.SetP_2A("FV 1/02/2026");
  invoice.SetP_3A("Sklep Pod Lipami");
  invoice.SetP_3B("ul. Lipowa 1, 90-001 Łódź");
  invoice.SetP_3C("Hurtownia Spożywcza Żuraw Sp. z o.o.");
  invoice.SetP_3D("Piotrkowska 120 4, 90-006 Łódź");
  invoice.SetP_4A("PL");
  invoice.SetP_4B("7270120002");
  invoice.SetP_5B("1234563218");
  invoice.SetP_13_1(100);
  invoice.SetP_14_1(23);
  invoice.SetP_15(123);
  for (auto set : {&fa::IXMLJPK_Faktura::SetP_16, &fa::IXMLJPK_Faktura::SetP_17, &fa::IXMLJPK_Faktura::SetP_18,
                   &fa::IXMLJPK_Faktura::SetP_18A, &fa::IXMLJPK_Faktura::SetP_19, &fa::IXMLJPK_Faktura::SetP_20,
                   &fa::IXMLJPK_Faktura::SetP_21, &fa::IXMLJPK_Faktura::SetP_22, &fa::IXMLJPK_Faktura::SetP_23,
                   &fa::IXMLJPK_Faktura::SetP_106E_2, &fa::IXMLJPK_Faktura::SetP_106E_3}) {
    (invoice.*set)(false);
  }
  invoice.SetRodzajFaktury("VAT");
  root.FakturaCtrl().SetLiczbaFaktur(1);
  root.FakturaCtrl().SetWartoscFaktur(123);
  auto line = root.FakturaWiersz().Add();
  line.SetP_2B("FV 1/02/2026");
  line.SetP_7("Mąka pszenna");
  line.SetP_11(100);
  line.SetP_12("23");
  root.FakturaWierszCtrl().SetLiczbaWierszyFaktur(1);
  root.FakturaWierszCtrl().SetWartoscWierszyFaktur(100);
}

}  // namespace

TEST(V7MHeader, CompanyAndNaturalPerson) {
  Firm firm;
  auto root = v7m::NewJPK();
  PrepareV7MDocument(root);
  FillV7MHeader(firm.ctx, root, false, kNow);
  auto h = root.Naglowek();
  EXPECT_EQ(ChildNames(h.Node()),
            "KodFormularza WariantFormularza DataWytworzeniaJPK NazwaSystemu CelZlozenia KodUrzedu Rok Miesiac ");
  EXPECT_EQ(h.DataWytworzeniaJPK(), "2026-03-02T09:05:07");
  EXPECT_EQ(h.CelZlozenia().poz(), "P_7");
  EXPECT_EQ(h.CelZlozenia().Text(), "1");
  EXPECT_EQ(h.Rok(), "2026");
  EXPECT_EQ(h.Miesiac(), 2);
  EXPECT_EQ(root.Podmiot1().rola(), "Podatnik");
  EXPECT_EQ(ChildNames(root.Podmiot1().Node()), "OsobaNiefizyczna ");
  EXPECT_EQ(ChildNames(root.Podmiot1().OsobaNiefizyczna().Node()), "NIP PelnaNazwa Email Telefon ");

  // A complete minimal file validates.
  auto records = root.Ewidencja();
  records.SprzedazCtrl().SetLiczbaWierszySprzedazy(0);
  records.SprzedazCtrl().SetPodatekNalezny(0);
  records.ZakupCtrl().SetLiczbaWierszyZakupow(0);
  records.ZakupCtrl().SetPodatekNaliczony(0);
  kxtest::TempDir dir;
  SaveAndFormat(root, dir / "v7m.xml", SaveV7MFile);
  EXPECT_EQ(kxtest::SchemaErrors(dir / "v7m.xml"), "");

  Firm person;
  person.ctx.AppSettings.Imie = "Jan";
  person.ctx.AppSettings.Nazwisko = "Kowalski";
  person.ctx.AppSettings.DataUrodzenia = {1980, 5, 17};
  person.ctx.AppSettings.Telefon = "";
  person.ctx.AppSettings.USCode = "0202";
  auto p = v7m::NewJPK();
  PrepareV7MDocument(p);
  FillV7MHeader(person.ctx, p, true, kNow);
  EXPECT_EQ(p.Naglowek().CelZlozenia().Text(), "2");
  EXPECT_EQ(p.Naglowek().KodUrzedu(), "0202");
  auto who = p.Podmiot1().OsobaFizyczna();
  EXPECT_EQ(ChildNames(who.Node()), "NIP ImiePierwsze Nazwisko DataUrodzenia Email ");
  EXPECT_EQ(who.Node().FirstChild().Prefix(), "etd");
  EXPECT_TRUE(p.Podmiot1().Node().FindChild("OsobaNiefizyczna").IsNull());
  p.Ewidencja().SprzedazCtrl().SetLiczbaWierszySprzedazy(0);
  p.Ewidencja().SprzedazCtrl().SetPodatekNalezny(0);
  p.Ewidencja().ZakupCtrl().SetLiczbaWierszyZakupow(0);
  p.Ewidencja().ZakupCtrl().SetPodatekNaliczony(0);
  SaveAndFormat(p, dir / "person.xml", SaveV7MFile);
  EXPECT_EQ(kxtest::SchemaErrors(dir / "person.xml"), "");
}

TEST(V7MHeader, PreparingALoadedDocumentDeclaresUtf8) {
  kxtest::TempDir dir;
  auto file =
      dir.Write("cp1250.xml",
                "<?xml version=\"1.0\" encoding=\"windows-1250\"?>\n"
                "<JPK xmlns=\"http://crd.gov.pl/wzor/2025/12/19/14090/\"><Naglowek><NazwaSystemu>\xA3\xF3\x64\x9F"
                "</NazwaSystemu></Naglowek></JPK>");
  auto root = v7m::LoadJPK(file);
  PrepareV7MDocument(root);
  EXPECT_EQ(root.OwnerDocument().Encoding(), "UTF-8");
  root.OwnerDocument().SaveToFile(file);
  std::string text = kxtest::ReadFile(file);
  EXPECT_NE(text.find("encoding=\"UTF-8\""), std::string::npos);
  EXPECT_NE(text.find("Łódź"), std::string::npos);
  EXPECT_NE(text.find("xmlns:etd"), std::string::npos);
}

TEST(FAHeader, PeriodAddressAndSchema) {
  Firm firm;
  auto root = fa::NewJPKFA();
  PrepareFADocument(root);
  FillFAHeader(firm.ctx, root, kNow);
  auto h = root.Naglowek();
  EXPECT_EQ(ChildNames(h.Node()),
            "KodFormularza WariantFormularza CelZlozenia DataWytworzeniaJPK DataOd DataDo KodUrzedu ");
  EXPECT_EQ(h.DataOd(), "2026-02-01");
  EXPECT_EQ(h.DataDo(), "2026-02-28");
  EXPECT_EQ(LastDayOfMonth({2024, 2, 10}), (Date{2024, 2, 29}));
  EXPECT_EQ(ChildNames(root.Podmiot1().AdresPodmiotu().Node()),
            "KodKraju Wojewodztwo Powiat Gmina Ulica NrDomu NrLokalu Miejscowosc KodPocztowy ");

  Firm bare;
  for (std::string* f : {&bare.ctx.AppSettings.Wojewodztwo, &bare.ctx.AppSettings.Powiat, &bare.ctx.AppSettings.Gmina,
                         &bare.ctx.AppSettings.Ulica, &bare.ctx.AppSettings.NrDomu, &bare.ctx.AppSettings.NrLokalu,
                         &bare.ctx.AppSettings.KodPocztowy}) {
    f->clear();
  }
  auto b = fa::NewJPKFA();
  PrepareFADocument(b);
  FillFAHeader(bare.ctx, b, kNow);
  EXPECT_EQ(ChildNames(b.Podmiot1().AdresPodmiotu().Node()), "KodKraju Miejscowosc ");
  EXPECT_EQ(ChildNames(b.Podmiot1().IdentyfikatorPodmiotu().Node()), "NIP PelnaNazwa ");

  AddOneInvoice(root);
  kxtest::TempDir dir;
  SaveAndFormat(root, dir / "fa.xml", SaveFAFile);
  EXPECT_EQ(kxtest::SchemaErrors(dir / "fa.xml"), "") << kxtest::ReadFile(dir / "fa.xml");
}

TEST(MAGAndKRHeader, OfficeCodeWithFourDigits) {
  Firm firm;
  firm.ctx.AppSettings.USCode = "0202";
  firm.ctx.AppSettings.Regon = "";
  firm.ctx.AppSettings.Poczta = "";
  auto mag = mag::NewJPKMAG();
  PrepareMAGDocument(mag);
  FillMAGHeader(firm.ctx, mag, kNow);
  EXPECT_EQ(mag.Naglowek().Node().FindChild("KodUrzedu").Text(), "0202");
  EXPECT_EQ(mag.Naglowek().KodUrzedu(), 202);
  EXPECT_EQ(
      ChildNames(mag.Naglowek().Node()),
      "KodFormularza WariantFormularza CelZlozenia DataWytworzeniaJPK DataOd DataDo DomyslnyKodWaluty KodUrzedu ");
  EXPECT_EQ(ChildNames(mag.Podmiot1().IdentyfikatorPodmiotu().Node()), "NIP PelnaNazwa ");
  EXPECT_TRUE(mag.Podmiot1().AdresPodmiotu().Node().FindChild("etd:Poczta").IsNull());

  Firm bad;
  bad.ctx.AppSettings.USCode = "12a";
  auto kr = kr::NewJPKKR();
  PrepareKRDocument(kr);
  EXPECT_THROW(FillKRHeader(bad.ctx, kr, kNow), kx::Error);

  // Complete minimal files of both kinds validate.
  Firm full;
  kxtest::TempDir dir;
  auto m = mag::NewJPKMAG();
  PrepareMAGDocument(m);
  FillMAGHeader(full.ctx, m, kNow);
  m.SetMagazyn("Magazyn Główny");
  auto wz = m.WZ();
  auto doc = wz.WZWartosc().Add();
  doc.SetNumerWZ("WZ 1/2024");
  doc.SetDataWZ("2026-02-05");
  doc.SetWartoscWZ(10);
  doc.SetDataWydaniaWZ("2026-02-05");
  doc.SetOdbiorcaWZ("Sklep");
  auto line = wz.WZWiersz().Add();
  line.SetNumer2WZ("WZ 1/2024");
  line.SetKodTowaruWZ("T1");
  line.SetNazwaTowaruWZ("Mąka");
  line.SetIloscWydanaWZ(2);
  line.SetJednostkaMiaryWZ("kg");
  line.SetCenaJednWZ(5);
  line.SetWartoscPozycjiWZ(10);
  wz.WZCtrl().SetLiczbaWZ(1);
  wz.WZCtrl().SetSumaWZ(10);
  SaveAndFormat(m, dir / "mag.xml", SaveMAGFile);
  EXPECT_EQ(kxtest::SchemaErrors(dir / "mag.xml"), "") << kxtest::ReadFile(dir / "mag.xml");

  auto k = kr::NewJPKKR();
  PrepareKRDocument(k);
  FillKRHeader(full.ctx, k, kNow);
  auto account = k.ZOiS().Add();
  account.SetTyp("G");
  account.SetKodKonta("100");
  account.SetOpisKonta("Kasa");
  account.SetTypKonta("bilansowe");
  account.SetKodZespolu("1");
  account.SetOpisZespolu("Środki pieniężne");
  account.SetKodKategorii("100");
  account.SetOpisKategorii("Kasa");
  for (auto set :
       {&kr::IXMLJPK_ZOiS::SetBilansOtwarciaWinien, &kr::IXMLJPK_ZOiS::SetBilansOtwarciaMa,
        &kr::IXMLJPK_ZOiS::SetObrotyWinien, &kr::IXMLJPK_ZOiS::SetObrotyMa, &kr::IXMLJPK_ZOiS::SetObrotyWinienNarast,
        &kr::IXMLJPK_ZOiS::SetObrotyMaNarast, &kr::IXMLJPK_ZOiS::SetSaldoWinien, &kr::IXMLJPK_ZOiS::SetSaldoMa}) {
    (account.*set)(0);
  }
  auto entry = k.Dziennik().Add();
  entry.SetTyp("G");
  entry.SetLpZapisuDziennika(1);
  entry.SetNrZapisuDziennika("1/02/2026");
  entry.SetOpisDziennika("Dziennik ogólny");
  entry.SetNrDowoduKsiegowego("KP 1/02/2026");
  entry.SetRodzajDowodu("KP");
  entry.SetDataOperacji("2026-02-06");
  entry.SetDataDowodu("2026-02-06");
  entry.SetDataKsiegowania("2026-02-06");
  entry.SetKodOperatora("ADM");
  entry.SetOpisOperacji("Wpłata do kasy");
  entry.SetDziennikKwotaOperacji(500);
  k.DziennikCtrl().SetLiczbaWierszyDziennika(1);
  k.DziennikCtrl().SetSumaKwotOperacji(500);
  auto posting = k.KontoZapis().Add();
  posting.SetTyp("G");
  posting.SetLpZapisu(1);
  posting.SetNrZapisu("1/02/2026");
  posting.SetKodKontaWinien("100");
  posting.SetKwotaWinien(500);
  posting.SetKodKontaMa("130");
  posting.SetKwotaMa(500);
  k.KontoZapisCtrl().SetLiczbaWierszyKontoZapisj(1);
  k.KontoZapisCtrl().SetSumaWinien(500);
  k.KontoZapisCtrl().SetSumaMa(500);
  SaveAndFormat(k, dir / "kr.xml", SaveKRFile);
  EXPECT_EQ(kxtest::SchemaErrors(dir / "kr.xml"), "");
}

TEST(Backup, MovesReplacesAndReports) {
  kxtest::TempDir dir;
  auto file = dir.Write("plik.xml", "pierwszy");
  std::string backup = BackupJpkFile(file.string(), '~');
  EXPECT_EQ(backup, (dir / "backup" / "~plik.xml").string());
  EXPECT_FALSE(fs::exists(file));
  EXPECT_EQ(kxtest::ReadFile(backup), "pierwszy");
  dir.Write("plik.xml", "drugi");
  BackupJpkFile(file.string(), '~');
  EXPECT_EQ(kxtest::ReadFile(backup), "drugi");

  // A backup name that cannot be deleted (a folder with content).
  dir.Write("backup/_zajety.xml/x", "");
  dir.Write("zajety.xml", "dane");
  try {
    BackupJpkFile((dir / "zajety.xml").string(), '_');
    FAIL();
  } catch (const kx::Error& e) {
    EXPECT_EQ(std::string(e.what()), "Nie można usunąć starej kopii zapasowej " +
                                         (dir / "backup" / "_zajety.xml").string() +
                                         ": pod tą nazwą jest folder, który nie jest pusty");
  }
  EXPECT_EQ(kxtest::ReadFile(dir / "zajety.xml"), "dane");

  // No backup folder can be made (a file stands in its place): the file's own folder.
  kxtest::TempDir other;
  other.Write("backup", "to jest plik");
  auto f = other.Write("a.xml", "x");
  EXPECT_EQ(BackupJpkFile(f.string(), '~'), (other / "~a.xml").string());
}

TEST(Backup, CopyKeepsTheFileAndNeverReplacesAnOlderCopy) {
  kxtest::TempDir dir;
  auto file = dir.Write("plik.xml", "pierwszy");
  std::string backup = CopyJpkFileToBackup(file.string(), '~');
  EXPECT_EQ(backup, (dir / "backup" / "~plik.xml").string());
  EXPECT_EQ(kxtest::ReadFile(file), "pierwszy");
  EXPECT_EQ(kxtest::ReadFile(backup), "pierwszy");
  // The same bytes again: no new copy. Other bytes: a numbered copy, the
  // first one kept.
  EXPECT_EQ(CopyJpkFileToBackup(file.string(), '~'), backup);
  dir.Write("plik.xml", "drugi");
  EXPECT_EQ(CopyJpkFileToBackup(file.string(), '~'), (dir / "backup" / "~plik-2.xml").string());
  EXPECT_EQ(kxtest::ReadFile(backup), "pierwszy");
  EXPECT_EQ(kxtest::ReadFile(dir / "backup" / "~plik-2.xml"), "drugi");
  dir.Write("plik.xml", "trzeci");
  EXPECT_EQ(CopyJpkFileToBackup(file.string(), '~'), (dir / "backup" / "~plik-3.xml").string());
  // A folder in the way of a name is passed over.
  fs::create_directories(dir / "backup" / "~plik-4.xml");
  dir.Write("plik.xml", "czwarty");
  EXPECT_EQ(CopyJpkFileToBackup(file.string(), '~'), (dir / "backup" / "~plik-5.xml").string());

  // No backup folder can be made: the file's own folder.
  kxtest::TempDir other;
  other.Write("backup", "to jest plik");
  auto f = other.Write("a.xml", "x");
  EXPECT_EQ(CopyJpkFileToBackup(f.string(), '~'), (other / "~a.xml").string());
  EXPECT_EQ(kxtest::ReadFile(f), "x");
  EXPECT_EQ(kxtest::ReadFile(other / "~a.xml"), "x");
}

TEST(PrefixRepair, YesRewritesWithBackup) {
  kxtest::TempDir dir;
  auto source = kxtest::SharedDir() / "samples" / "JPK_V7M" / "jpk_v7m3_mf_example_person_tns_derived.xml";
  auto file = dir / "tns.xml";
  fs::copy_file(source, file);
  Firm firm;
  firm.port.answers = {ui::Button::Yes};
  auto root = v7m::LoadJPK(file);
  int sales = root.Ewidencja().SprzedazWiersz().Count();
  RepairV7MPrefixes(firm.ctx, root, file.string());

  ASSERT_EQ(firm.port.shown.size(), 1u);
  EXPECT_EQ(firm.port.shown[0].text, "Prefixy przestrzeni nazw niezgodne ze specyfikacją\rPoprawić?");
  EXPECT_EQ(kxtest::ReadFile(dir / "backup" / "~tns.xml"), kxtest::ReadFile(source));
  std::string text = kxtest::ReadFile(file);
  EXPECT_EQ(text.find("tns:"), std::string::npos);
  EXPECT_NE(text.find("<JPK xmlns=\"http://crd.gov.pl/wzor/2025/12/19/14090/\""), std::string::npos) << text;
  EXPECT_NE(text.find("<etd:NIP>"), std::string::npos);
  EXPECT_NE(text.find("\n  <Naglowek>"), std::string::npos);  // pretty-printed
  EXPECT_EQ(root.Node().Prefix(), "");
  EXPECT_EQ(root.Ewidencja().SprzedazWiersz().Count(), sales);
  EXPECT_EQ(kxtest::SchemaErrors(file), "");

  // Repairing again replaces the earlier backup.
  fs::copy_file(source, file, fs::copy_options::overwrite_existing);
  firm.port.answers = {ui::Button::Yes};
  auto again = v7m::LoadJPK(file);
  RepairV7MPrefixes(firm.ctx, again, file.string());
  EXPECT_EQ(kxtest::ReadFile(dir / "backup" / "~tns.xml"), kxtest::ReadFile(source));
}

TEST(PrefixRepair, NoOrDefaultNamespaceWritesNothing) {
  kxtest::TempDir dir;
  auto tns = dir / "tns.xml";
  fs::copy_file(kxtest::SharedDir() / "samples" / "JPK_V7M" / "jpk_v7m3_tns_prefix_uti-kb_example.xml", tns);
  Firm firm;
  firm.port.answers = {ui::Button::No};
  auto root = v7m::LoadJPK(tns);
  RepairV7MPrefixes(firm.ctx, root, tns.string());
  EXPECT_EQ(root.Node().Prefix(), "tns");
  EXPECT_FALSE(fs::exists(dir / "backup"));
  EXPECT_EQ(kxtest::ReadFile(tns),
            kxtest::ReadFile(kxtest::SharedDir() / "samples" / "JPK_V7M" / "jpk_v7m3_tns_prefix_uti-kb_example.xml"));

  auto plain = dir / "plain.xml";
  fs::copy_file(kxtest::SharedDir() / "samples" / "JPK_FA" / "jpk_fa4_synthetic_default_ns.xml", plain);
  Firm quiet;  // no answers scripted: a question would fail the test
  auto fa = fa::LoadJPKFA(plain);
  RepairFAPrefixes(quiet.ctx, fa, plain.string());
  EXPECT_TRUE(quiet.port.shown.empty());
}

TEST(PrefixRepair, ForeignNamespaceIsKept) {
  kxtest::TempDir dir;
  auto file = dir.Write(
      "ext.xml",
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<tns:JPK xmlns:tns=\"http://jpk.mf.gov.pl/wzor/2022/02/17/02171/\" "
      "xmlns:etd=\"http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2018/08/24/eD/DefinicjeTypy/\" "
      "xmlns:ext=\"urn:firma:ext\">"
      "<tns:Naglowek><tns:KodFormularza kodSystemowy=\"JPK_FA (4)\" wersjaSchemy=\"1-0\">JPK_FA</tns:KodFormularza>"
      "</tns:Naglowek><ext:Uwagi ext:rodzaj=\"a\">Dodatkowe dane</ext:Uwagi></tns:JPK>");
  Firm firm;
  firm.port.answers = {ui::Button::Yes};
  auto root = fa::LoadJPKFA(file);
  RepairFAPrefixes(firm.ctx, root, file.string());
  auto extra = root.Node().FindChild("Uwagi", "urn:firma:ext");
  ASSERT_FALSE(extra.IsNull()) << kxtest::ReadFile(file);
  EXPECT_EQ(extra.Text(), "Dodatkowe dane");
  EXPECT_EQ(extra.AttributeNodeNS("rodzaj", "urn:firma:ext").NodeValue(), "a");
  EXPECT_EQ(root.Naglowek().KodFormularza().kodSystemowy(), "JPK_FA (4)");
}

TEST(SaveAs, ProposedNamesDialogStateAndCancel) {
  kxtest::TempDir dir;
  Firm firm;
  firm.ctx.AppSettings.CurDate = {2024, 5, 10};  // proposals follow the working month
  firm.ctx.AppSettings.SaveDir = dir.Path().string() + "/";
  auto root = fa::NewJPKFA();
  PrepareFADocument(root);
  FillFAHeader(firm.ctx, root, kNow);

  // Cancel: nothing written, no message.
  firm.port.files = {std::nullopt};
  EXPECT_FALSE(SaveFAAs(firm.ctx, root));
  EXPECT_EQ(firm.ctx.SaveDlg.fileName, "2024-05_JPK_FA");
  EXPECT_EQ(firm.ctx.SaveDlg.initialDir, firm.ctx.AppSettings.SaveDir);
  EXPECT_TRUE(firm.port.waits.empty());

  auto chosen = (dir / "luty").string();
  firm.port.files = {chosen};
  EXPECT_TRUE(SaveFAAs(firm.ctx, root));
  EXPECT_EQ(firm.ctx.JpkFileName, chosen + ".xml");
  EXPECT_TRUE(fs::exists(chosen + ".xml"));
  EXPECT_EQ(firm.port.waits, (std::vector<std::string>{"Proszę czekać. Trwa zapisywanie pliku..."}));
  EXPECT_EQ(firm.port.busyDepth, 0);
  // The next save offers the name chosen last.
  firm.port.files = {std::nullopt};
  SaveFAAs(firm.ctx, root);
  EXPECT_EQ(firm.ctx.SaveDlg.fileName, chosen + ".xml");

  // JPK_KR proposes the working month's name every time.
  auto kr = kr::NewJPKKR();
  PrepareKRDocument(kr);
  firm.port.files = {std::nullopt, std::nullopt};
  SaveKRAs(firm.ctx, kr);
  EXPECT_EQ(firm.ctx.SaveDlg.fileName, "2024-05_JPK_KR");
  SaveKRAs(firm.ctx, kr);
  EXPECT_EQ(firm.ctx.SaveDlg.fileName, "2024-05_JPK_KR");

  // No active document.
  mag::IXMLJPKMAG mag;
  try {
    SaveMAGAs(firm.ctx, mag);
    FAIL();
  } catch (const kx::Error& e) {
    EXPECT_STREQ(e.what(), "Brak aktywnego pliku JPK_MAG");
  }
  EXPECT_THROW(FormatAndSaveMAG(mag, "x.xml"), kx::Error);
  auto fresh = mag::NewJPKMAG();
  try {
    FormatAndSaveMAG(fresh, "");
    FAIL();
  } catch (const kx::Error& e) {
    EXPECT_STREQ(e.what(), "Błąd formatowania pliku JPK_MAG");
  }
}

TEST(SaveAs, AnotherExistingFileIsReplacedOnlyAfterYesWithACopyKept) {
  struct Case {
    const char* name;
    bool exists;                     // the chosen file is there before the save
    bool own;                        // it is the document's own file, named another way
    bool backupBlocked;              // the copy to backup/ fails (a full disk)
    std::deque<ui::Button> answers;  // a question not scripted fails the case
    bool saved;
  };
  const Case cases[] = {
      {"new name", false, false, false, {}, true},
      {"own file", true, true, false, {}, true},
      {"another file, No", true, false, false, {ui::Button::No}, false},
      {"another file, Yes", true, false, false, {ui::Button::Yes}, true},
      {"another file, Yes, no copy possible", true, false, true, {ui::Button::Yes}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kxtest::TempDir dir;
    Firm firm;
    auto root = fa::NewJPKFA();
    PrepareFADocument(root);
    FillFAHeader(firm.ctx, root, kNow);
    AddOneInvoice(root);
    const fs::path file = dir / "luty.xml";
    if (c.exists) dir.Write("luty.xml", "stare dane");
    if (c.backupBlocked) SetFileFaultHook([](FileStep s) { return s == FileStep::Copy ? ENOSPC : 0; });
    // The document was read from a file: the same one by another path, or another one.
    firm.ctx.JpkFileName = c.own ? (dir.Path() / "." / "luty.xml").string() : dir.Write("otwarty.xml", "").string();
    const std::string before = firm.ctx.JpkFileName;
    firm.port.answers = c.answers;
    firm.port.files = {file.string()};

    EXPECT_EQ(SaveFAAs(firm.ctx, root), c.saved);
    SetFileFaultHook(nullptr);

    std::vector<std::pair<ui::BoxKind, std::string>> shown, expected;
    for (const auto& box : firm.port.shown) shown.emplace_back(box.kind, box.text);
    if (!c.answers.empty()) {
      expected.emplace_back(ui::BoxKind::Confirmation, "Plik " + file.string() + " istnieje. Zastąpić?");
      EXPECT_EQ(firm.port.buttons, (std::vector{ui::Button::Yes, ui::Button::No}));
      EXPECT_EQ(firm.port.defaultButton, ui::Button::No);
    }
    if (c.backupBlocked) {
      expected.emplace_back(ui::BoxKind::Error, "Nie udało się utworzyć kopii zapasowej pliku " + file.string() +
                                                    " (brak miejsca na dysku):\r" +
                                                    (dir / "backup" / "~luty.xml").string() +
                                                    "\rPlik nie został zapisany.");
    }
    EXPECT_EQ(shown, expected);

    if (c.saved) {
      EXPECT_EQ(kxtest::SchemaErrors(file), "");
      EXPECT_EQ(firm.ctx.JpkFileName, file.string());
    } else {
      EXPECT_EQ(kxtest::ReadFile(file), "stare dane");
      EXPECT_EQ(firm.ctx.JpkFileName, before);
      EXPECT_TRUE(firm.port.waits.empty());
    }
    const bool copied = c.exists && !c.own && c.saved;
    EXPECT_EQ(fs::is_regular_file(dir / "backup" / "~luty.xml"), copied);
    if (copied) {
      EXPECT_EQ(kxtest::ReadFile(dir / "backup" / "~luty.xml"), "stare dane");
    }
  }
}

TEST(FormatAndSave, PrettyPrintedFileAndReloadedDocument) {
  kxtest::TempDir dir;
  Firm firm;
  auto root = v7m::NewJPK();
  PrepareV7MDocument(root);
  FillV7MHeader(firm.ctx, root, false, kNow);
  auto file = dir / "a.xml";
  root.OwnerDocument().SaveToFile(file);
  auto before = root.Node();
  FormatAndSaveV7M(root, file.string());
  std::string text = kxtest::ReadFile(file);
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<JPK", 0), 0u) << text;
  EXPECT_NE(text.find("\n  <Naglowek>\n    <KodFormularza"), std::string::npos) << text;
  EXPECT_FALSE(root.OwnerDocument().Modified());
  EXPECT_EQ(root.OwnerDocument().Xml(), kx::xml::XmlDocument::FromFile(file).Xml());
  EXPECT_EQ(root.Naglowek().KodUrzedu(), "1009");
}

TEST(FormatAndSave, WholeSaveReplacesInOneStepAndLeavesNothingAfterAFailure) {
  kxtest::TempDir dir;
  Firm firm;
  auto root = v7m::NewJPK();
  PrepareV7MDocument(root);
  FillV7MHeader(firm.ctx, root, false, kNow);
  auto leftovers = [&] {
    int n = 0;
    for (const auto& e : fs::directory_iterator(dir.Path())) n += e.path().extension() == ".tmp";
    return n;
  };

  // Replacing an older file: the same bytes as the two passes give, the
  // file's mode kept, the caller holding the document as written.
  auto file = dir.Write("a.xml", "stary");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  SaveV7MFile(root, file.string());
  const std::string whole = kxtest::ReadFile(file);
  EXPECT_EQ(whole.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<JPK", 0), 0u) << whole;
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_FALSE(root.OwnerDocument().Modified());
  EXPECT_EQ(root.OwnerDocument().Xml(), kx::xml::XmlDocument::FromFile(file).Xml());
  EXPECT_EQ(kxtest::TwoPassSave(root.OwnerDocument(), dir / "b.xml"), whole);
  EXPECT_EQ(leftovers(), 0);

  // The last step fails (the name is taken by a folder): the message, the
  // folder as it was, no working file left.
  fs::create_directories(dir / "zajety.xml" / "w_srodku");
  EXPECT_THROW(SaveV7MFile(root, (dir / "zajety.xml").string()), Error);
  EXPECT_TRUE(fs::is_directory(dir / "zajety.xml" / "w_srodku"));
  EXPECT_EQ(leftovers(), 0);
  // A folder that does not exist: nothing written anywhere.
  EXPECT_THROW(SaveV7MFile(root, (dir / "brak" / "c.xml").string()), Error);
  EXPECT_FALSE(fs::exists(dir / "brak"));
}
