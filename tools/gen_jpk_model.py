#!/usr/bin/env python3
"""Generates the typed views of the four JPK document kinds (src/jpk/model)
from the element tables below. Run from the repository root:

    python3 tools/gen_jpk_model.py            # writes src/jpk/model
    python3 tools/gen_jpk_model.py --out DIR  # writes into DIR instead
    python3 tools/gen_jpk_model.py --check    # exit 1 when src/jpk/model is stale

Each table row is (name, kind, type): kind "el" a simple child element,
"attr" an attribute, "node" a complex child (type = the typed class),
"list" a repeated child (type = the item class), "etd" a member of the
common-definitions namespace found by local name without being created on
read. Types of simple members: text, int (signed 32 bits), small (signed 8
bits, markers), count (unsigned 32 bits), decimal, date, bool.
"""

import argparse
import filecmp
import os
import sys
import tempfile

CPP_TYPE = {"text": "std::string", "int": "int32_t", "small": "int", "count": "uint32_t",
            "decimal": "double", "date": "Date", "bool": "bool"}
PARAM_TYPE = {"text": "std::string_view", "int": "int32_t", "small": "int", "count": "uint32_t",
              "decimal": "double", "date": "const Date&", "bool": "bool"}
ACCESS = {"text": "Text", "int": "Int", "small": "Small", "count": "Count", "decimal": "Decimal",
          "date": "Date", "bool": "Bool"}


def els(kind, typ, names):
    return [(n, kind, typ) for n in names]


# ---------------------------------------------------------------- common types
ETD_V7M = "http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2022/09/13/eD/DefinicjeTypy/"

# ---------------------------------------------------------------- JPK_V7M(3)
V7M_SALE = (
    [("LpSprzedazy", "el", "int")]
    + els("el", "text", ["KodKrajuNadaniaTIN", "NrKontrahenta", "NazwaKontrahenta", "DowodSprzedazy"])
    + els("el", "date", ["DataWystawienia", "DataSprzedazy"])
    + [("NrKSeF", "el", "text")]
    + els("el", "small", ["OFF", "BFK", "DI"])
    + [("TypDokumentu", "el", "text")]
    + els("el", "small", ["GTU_%02d" % i for i in range(1, 14)])
    + els("el", "small", ["WSTO_EE", "IED", "TP", "TT_WNT", "TT_D", "MR_T", "MR_UZ", "I_42", "I_63",
                          "B_SPV", "B_SPV_DOSTAWA", "B_MPV_PROWIZJA", "KorektaPodstawyOpodt"])
    + els("el", "date", ["TerminPlatnosci", "DataZaplaty"])
    + els("el", "decimal", ["K_%d" % i for i in range(10, 36)] + ["K_36", "K_360", "SprzedazVAT_Marza"])
)
V7M_BUY = (
    [("LpZakupu", "el", "int")]
    + els("el", "text", ["KodKrajuNadaniaTIN", "NrDostawcy", "NazwaDostawcy", "DowodZakupu"])
    + els("el", "date", ["DataZakupu", "DataWplywu"])
    + [("NrKSeF", "el", "text")]
    + els("el", "small", ["OFF", "BFK", "DI"])
    + [("DokumentZakupu", "el", "text"), ("IMP", "el", "small")]
    + els("el", "decimal", ["K_%d" % i for i in range(40, 48)] + ["ZakupVAT_Marza"])
)
V7M_POSITIONS = (
    els("el", "int", ["P_%d" % i for i in range(10, 37)] + ["P_360"] + ["P_%d" % i for i in range(37, 55)])
    + els("el", "small", ["P_540", "P_55", "P_56", "P_560", "P_58", "P_59"])
    + [("P_60", "el", "int"), ("P_61", "el", "text"), ("P_62", "el", "int")]
    + els("el", "small", ["P_63", "P_64", "P_65", "P_66", "P_660", "P_67"])
    + els("el", "int", ["P_68", "P_69"])
    + [("P_ORDZU", "el", "text")]
)

V7M = {
    "module": "Schemat_JPK_V7M3_v10E",
    "namespace": "v7m",
    "title": "JPK_V7M(3)",
    "target": "http://crd.gov.pl/wzor/2025/12/19/14090/",
    "root": "IXMLJPK",
    "load": "LoadJPK",
    "new": "NewJPK",
    "types": [
        ("TNaglowek_KodFormularza", None, [("kodSystemowy", "attr", "text"), ("wersjaSchemy", "attr", "text")]),
        ("TNaglowek_CelZlozenia", None, [("poz", "attr", "text")]),
        ("TNaglowek", None, [
            ("KodFormularza", "node", "TNaglowek_KodFormularza"), ("WariantFormularza", "el", "small"),
            ("DataWytworzeniaJPK", "el", "text"), ("NazwaSystemu", "el", "text"),
            ("CelZlozenia", "node", "TNaglowek_CelZlozenia"), ("KodUrzedu", "el", "text"),
            ("Rok", "el", "text"), ("Miesiac", "el", "small")]),
        ("JPK_Naglowek", "TNaglowek", []),
        ("TIdentyfikatorOsobyFizycznej2", None, [
            ("NIP", "etd", "text"), ("ImiePierwsze", "etd", "text"), ("Nazwisko", "etd", "text"),
            ("DataUrodzenia", "etd", "date")]),
        ("TIdentyfikatorOsobyNiefizycznej", None, [("NIP", "el", "text"), ("PelnaNazwa", "el", "text")]),
        ("TPodmiotDowolnyBezAdresu_OsobaFizyczna", "TIdentyfikatorOsobyFizycznej2",
         [("Email", "el", "text"), ("Telefon", "el", "text")]),
        ("TPodmiotDowolnyBezAdresu_OsobaNiefizyczna", "TIdentyfikatorOsobyNiefizycznej",
         [("Email", "el", "text"), ("Telefon", "el", "text")]),
        ("TPodmiotDowolnyBezAdresu", None, [
            ("OsobaFizyczna", "node", "TPodmiotDowolnyBezAdresu_OsobaFizyczna"),
            ("OsobaNiefizyczna", "node", "TPodmiotDowolnyBezAdresu_OsobaNiefizyczna")]),
        ("JPK_Podmiot1", "TPodmiotDowolnyBezAdresu", [("rola", "attr", "text")]),
        ("JPK_Deklaracja_Naglowek_KodFormularzaDekl", None, [
            ("kodSystemowy", "attr", "text"), ("kodPodatku", "attr", "text"),
            ("rodzajZobowiazania", "attr", "text"), ("wersjaSchemy", "attr", "text")]),
        ("JPK_Deklaracja_Naglowek", None, [
            ("KodFormularzaDekl", "node", "JPK_Deklaracja_Naglowek_KodFormularzaDekl"),
            ("WariantFormularzaDekl", "el", "small")]),
        ("JPK_Deklaracja_PozycjeSzczegolowe", None, V7M_POSITIONS),
        ("JPK_Deklaracja", None, [
            ("Naglowek", "node", "JPK_Deklaracja_Naglowek"),
            ("PozycjeSzczegolowe", "node", "JPK_Deklaracja_PozycjeSzczegolowe"), ("Pouczenia", "el", "text")]),
        ("JPK_Ewidencja_SprzedazWiersz", None, V7M_SALE),
        ("JPK_Ewidencja_SprzedazCtrl", None, [("LiczbaWierszySprzedazy", "el", "count"),
                                              ("PodatekNalezny", "el", "decimal")]),
        ("JPK_Ewidencja_ZakupWiersz", None, V7M_BUY),
        ("JPK_Ewidencja_ZakupCtrl", None, [("LiczbaWierszyZakupow", "el", "count"),
                                           ("PodatekNaliczony", "el", "decimal")]),
        ("JPK_Ewidencja", None, [
            ("SprzedazWiersz", "list", "JPK_Ewidencja_SprzedazWiersz"),
            ("SprzedazCtrl", "node", "JPK_Ewidencja_SprzedazCtrl"),
            ("ZakupWiersz", "list", "JPK_Ewidencja_ZakupWiersz"),
            ("ZakupCtrl", "node", "JPK_Ewidencja_ZakupCtrl")]),
        ("JPK", None, [
            ("Naglowek", "node", "JPK_Naglowek"), ("Podmiot1", "node", "JPK_Podmiot1"),
            ("Deklaracja", "node", "JPK_Deklaracja"), ("Ewidencja", "node", "JPK_Ewidencja")]),
    ],
    "etd": ETD_V7M,
}

# ---------------------------------------------------------------- JPK_FA(4)
FA_INVOICE = (
    els("el", "text", ["KodWaluty", "P_1", "P_2A", "P_3A", "P_3B", "P_3C", "P_3D", "P_4A", "P_4B", "P_5A",
                       "P_5B", "P_6"])
    + els("el", "decimal", ["P_13_1", "P_14_1", "P_14_1W", "P_13_2", "P_14_2", "P_14_2W", "P_13_3", "P_14_3",
                            "P_14_3W", "P_13_4", "P_14_4", "P_14_4W", "P_13_5", "P_14_5", "P_13_6", "P_13_7",
                            "P_15"])
    + els("el", "bool", ["P_16", "P_17", "P_18", "P_18A", "P_19"])
    + els("el", "text", ["P_19A", "P_19B", "P_19C"])
    + [("P_20", "el", "bool")] + els("el", "text", ["P_20A", "P_20B"])
    + [("P_21", "el", "bool")] + els("el", "text", ["P_21A", "P_21B", "P_21C"])
    + [("P_22", "el", "bool")] + els("el", "text", ["P_22A", "P_22B", "P_22C"])
    + [("P_23", "el", "bool"), ("P_106E_2", "el", "bool"), ("P_106E_3", "el", "bool")]
    + els("el", "text", ["P_106E_3A", "RodzajFaktury", "PrzyczynaKorekty", "NrFaKorygowanej",
                         "OkresFaKorygowanej", "NrFaZaliczkowej"])
)
FA_LINE = (
    els("el", "text", ["P_2B", "P_7", "P_8A"])
    + els("el", "decimal", ["P_8B", "P_9A", "P_9B", "P_10", "P_11", "P_11A"])
    + [("P_12", "el", "text"), ("P_12_XII", "el", "decimal")]
)
FA = {
    "module": "Schemat_JPK_FA4_v10",
    "namespace": "fa",
    "title": "JPK_FA(4)",
    "target": "http://jpk.mf.gov.pl/wzor/2022/02/17/02171/",
    "root": "IXMLJPKFA",
    "load": "LoadJPKFA",
    "new": "NewJPKFA",
    "types": [
        ("TNaglowek_KodFormularza", None, [("kodSystemowy", "attr", "text"), ("wersjaSchemy", "attr", "text")]),
        ("TNaglowek", None, [
            ("KodFormularza", "node", "TNaglowek_KodFormularza"), ("WariantFormularza", "el", "small"),
            ("CelZlozenia", "el", "small"), ("DataWytworzeniaJPK", "el", "text"), ("DataOd", "el", "text"),
            ("DataDo", "el", "text"), ("KodUrzedu", "el", "text")]),
        ("JPK_Naglowek", "TNaglowek", []),
        ("TIdentyfikatorOsobyNiefizycznej1", None,
         els("el", "text", ["NIP", "EUPLVATID", "IMPLVATID", "PelnaNazwa"])),
        ("TAdresPolski1_etd", None,
         els("el", "text", ["etd:KodKraju", "etd:Wojewodztwo", "etd:Powiat", "etd:Gmina", "etd:Ulica",
                            "etd:NrDomu", "etd:NrLokalu", "etd:Miejscowosc", "etd:KodPocztowy"])),
        # The schema puts the foreign address's members in the common-definitions namespace.
        ("TAdresZagraniczny_etd", None,
         els("el", "text", ["etd:KodKraju", "etd:KodPocztowy", "etd:Miejscowosc", "etd:Ulica", "etd:NrDomu",
                            "etd:NrLokalu"])),
        ("JPK_Podmiot1", None, [
            ("IdentyfikatorPodmiotu", "node", "TIdentyfikatorOsobyNiefizycznej1"),
            ("AdresPodmiotu", "node", "TAdresPolski1_etd"), ("AdresPodmiotu2", "node", "TAdresZagraniczny_etd")]),
        ("JPK_Faktura", None, FA_INVOICE),
        ("JPK_FakturaCtrl", None, [("LiczbaFaktur", "el", "int"), ("WartoscFaktur", "el", "decimal")]),
        ("JPK_FakturaWiersz", None, FA_LINE),
        ("JPK_FakturaWierszCtrl", None, [("LiczbaWierszyFaktur", "el", "int"),
                                         ("WartoscWierszyFaktur", "el", "decimal")]),
        ("JPK_Zamowienie_ZamowienieWiersz", None,
         els("el", "text", ["P_7Z", "P_8AZ"]) + els("el", "decimal", ["P_8BZ", "P_9AZ", "P_11NettoZ", "P_11VatZ"])
         + [("P_12Z", "el", "text"), ("P_12Z_XII", "el", "decimal")]),
        ("JPK_Zamowienie", None, [
            ("P_2AZ", "el", "text"), ("WartoscZamowienia", "el", "decimal"),
            ("ZamowienieWiersz", "list", "JPK_Zamowienie_ZamowienieWiersz")]),
        ("JPK_ZamowienieCtrl", None, [("LiczbaZamowien", "el", "int"), ("WartoscZamowien", "el", "decimal")]),
        ("JPKFA", None, [
            ("Naglowek", "node", "JPK_Naglowek"), ("Podmiot1", "node", "JPK_Podmiot1"),
            ("Faktura", "list", "JPK_Faktura"), ("FakturaCtrl", "node", "JPK_FakturaCtrl"),
            ("FakturaWiersz", "list", "JPK_FakturaWiersz"), ("FakturaWierszCtrl", "node", "JPK_FakturaWierszCtrl"),
            ("Zamowienie", "list", "JPK_Zamowienie"), ("ZamowienieCtrl", "node", "JPK_ZamowienieCtrl")]),
    ],
}

# ---------------------------------------------------------------- JPK_MAG(1) and JPK_KR(1)
HEADER_2016 = [
    ("KodFormularza", "node", "TNaglowek_KodFormularza"), ("WariantFormularza", "el", "small"),
    ("CelZlozenia", "el", "small"), ("DataWytworzeniaJPK", "el", "text"), ("DataOd", "el", "text"),
    ("DataDo", "el", "text"), ("DomyslnyKodWaluty", "el", "text"), ("KodUrzedu", "el", "int")]
SUBJECT_2016 = [
    ("TIdentyfikatorOsobyNiefizycznej_etd", None, els("el", "text", ["etd:NIP", "etd:PelnaNazwa", "etd:REGON"])),
    ("TAdresPolski_etd", None,
     els("el", "text", ["etd:KodKraju", "etd:Wojewodztwo", "etd:Powiat", "etd:Gmina", "etd:Ulica", "etd:NrDomu",
                        "etd:NrLokalu", "etd:Miejscowosc", "etd:KodPocztowy", "etd:Poczta"])),
    ("JPK_Podmiot1", None, [
        ("IdentyfikatorPodmiotu", "node", "TIdentyfikatorOsobyNiefizycznej_etd"),
        ("AdresPodmiotu", "node", "TAdresPolski_etd")]),
]


def mag_group(code, header_names, line_names):
    header = [
        ("Numer" + code, "el", "text"), ("Data" + code, "el", "text"), ("Wartosc" + code, "el", "decimal")]
    header += [(n, "el", "text") for n in header_names]
    line = [("Numer2" + code, "el", "text"), ("KodTowaru" + code, "el", "text"),
            ("NazwaTowaru" + code, "el", "text"), (line_names[0], "el", "decimal"),
            ("JednostkaMiary" + code, "el", "text"), ("CenaJedn" + code, "el", "decimal"),
            ("WartoscPozycji" + code, "el", "decimal")]
    return [
        ("JPK_%s_%sWartosc" % (code, code), None, header),
        ("JPK_%s_%sWiersz" % (code, code), None, line),
        ("JPK_%s_%sCtrl" % (code, code), None, [("Liczba" + code, "el", "int"), ("Suma" + code, "el", "decimal")]),
        ("JPK_" + code, None, [
            (code + "Wartosc", "list", "JPK_%s_%sWartosc" % (code, code)),
            (code + "Wiersz", "list", "JPK_%s_%sWiersz" % (code, code)),
            (code + "Ctrl", "node", "JPK_%s_%sCtrl" % (code, code))]),
    ]


MAG = {
    "module": "Schemat_JPK_MAG1_v10",
    "namespace": "mag",
    "title": "JPK_MAG(1)",
    "target": "http://jpk.mf.gov.pl/wzor/2016/03/09/03093/",
    "root": "IXMLJPKMAG",
    "load": "LoadJPKMAG",
    "new": "NewJPKMAG",
    "types": [
        ("TNaglowek_KodFormularza", None, [("kodSystemowy", "attr", "text"), ("wersjaSchemy", "attr", "text")]),
        ("TNaglowek", None, HEADER_2016),
    ] + SUBJECT_2016
    + mag_group("PZ", ["DataOtrzymaniaPZ", "Dostawca", "NumerFaPZ", "DataFaPZ"], ["IloscPrzyjetaPZ"])
    + mag_group("WZ", ["DataWydaniaWZ", "OdbiorcaWZ", "NumerFaWZ", "DataFaWZ"], ["IloscWydanaWZ"])
    + mag_group("RW", ["DataWydaniaRW", "SkadRW", "DokadRW"], ["IloscWydanaRW"])
    + mag_group("MM", ["DataWydaniaMM", "SkadMM", "DokadMM"], ["IloscWydanaMM"])
    + [("JPKMAG", None, [
        ("Naglowek", "node", "TNaglowek"), ("Podmiot1", "node", "JPK_Podmiot1"), ("Magazyn", "el", "text"),
        ("PZ", "node", "JPK_PZ"), ("WZ", "node", "JPK_WZ"), ("RW", "node", "JPK_RW"), ("MM", "node", "JPK_MM")])],
}

KR = {
    "module": "Schemat_JPK_KR1_v10",
    "namespace": "kr",
    "title": "JPK_KR(1)",
    "target": "http://jpk.mf.gov.pl/wzor/2016/03/09/03091/",
    "root": "IXMLJPKKR",
    "load": "LoadJPKKR",
    "new": "NewJPKKR",
    "types": [
        ("TNaglowek_KodFormularza", None, [("kodSystemowy", "attr", "text"), ("wersjaSchemy", "attr", "text")]),
        ("TNaglowek", None, HEADER_2016),
    ] + SUBJECT_2016 + [
        ("JPK_ZOiS", None, [("typ", "attr", "text")]
         + els("el", "text", ["KodKonta", "OpisKonta", "TypKonta", "KodZespolu", "OpisZespolu", "KodKategorii",
                              "OpisKategorii", "KodPodkategorii", "OpisPodkategorii"])
         + els("el", "decimal", ["BilansOtwarciaWinien", "BilansOtwarciaMa", "ObrotyWinien", "ObrotyMa",
                                 "ObrotyWinienNarast", "ObrotyMaNarast", "SaldoWinien", "SaldoMa"])),
        ("JPK_Dziennik", None, [("typ", "attr", "text"), ("LpZapisuDziennika", "el", "int")]
         + els("el", "text", ["NrZapisuDziennika", "OpisDziennika", "NrDowoduKsiegowego", "RodzajDowodu",
                              "DataOperacji", "DataDowodu", "DataKsiegowania", "KodOperatora", "OpisOperacji"])
         + [("DziennikKwotaOperacji", "el", "decimal")]),
        ("JPK_DziennikCtrl", None, [("LiczbaWierszyDziennika", "el", "int"), ("SumaKwotOperacji", "el", "decimal")]),
        ("JPK_KontoZapis", None, [("typ", "attr", "text"), ("LpZapisu", "el", "int"), ("NrZapisu", "el", "text"),
                                  ("KodKontaWinien", "el", "text"), ("KwotaWinien", "el", "decimal"),
                                  ("KwotaWinienWaluta", "el", "decimal"), ("KodWalutyWinien", "el", "text"),
                                  ("OpisZapisuWinien", "el", "text"), ("KodKontaMa", "el", "text"),
                                  ("KwotaMa", "el", "decimal"), ("KwotaMaWaluta", "el", "decimal"),
                                  ("KodWalutyMa", "el", "text"), ("OpisZapisuMa", "el", "text")]),
        ("JPK_KontoZapisCtrl", None, [("LiczbaWierszyKontoZapisj", "el", "int"), ("SumaWinien", "el", "decimal"),
                                      ("SumaMa", "el", "decimal")]),
        ("JPKKR", None, [
            ("Naglowek", "node", "TNaglowek"), ("Podmiot1", "node", "JPK_Podmiot1"), ("ZOiS", "list", "JPK_ZOiS"),
            ("Dziennik", "list", "JPK_Dziennik"), ("DziennikCtrl", "node", "JPK_DziennikCtrl"),
            ("KontoZapis", "list", "JPK_KontoZapis"), ("KontoZapisCtrl", "node", "JPK_KontoZapisCtrl")]),
    ],
}


def member_name(name):
    return name.split(":")[-1]


def setter_name(name):
    n = member_name(name)
    return "Set" + n[0].upper() + n[1:]


def gen_class(t, base, members, out_h, out_cpp):
    cls = "IXML" + t
    parent = ("IXML" + base) if base else "TypedNode"
    out_h.append("class %s : public %s {\n public:\n  using %s::%s;\n" % (cls, parent, parent, parent))
    for name, kind, typ in members:
        m = member_name(name)
        if kind in ("el", "etd", "attr"):
            ct, pt, acc = CPP_TYPE[typ], PARAM_TYPE[typ], ACCESS[typ]
            out_h.append("  %s %s() const;\n  void %s(%s value);\n" % (ct, m, setter_name(name), pt))
            if kind == "el":
                out_cpp.append('%s %s::%s() const { return Get%s("%s"); }\n' % (ct, cls, m, acc, name))
                out_cpp.append('void %s::%s(%s value) { Set%s("%s", value); }\n' % (cls, setter_name(name), pt, acc, name))
            elif kind == "attr":
                out_cpp.append('%s %s::%s() const { return GetAttribute("%s"); }\n' % (ct, cls, m, name))
                out_cpp.append('void %s::%s(%s value) { SetAttribute("%s", value); }\n' % (cls, setter_name(name), pt, name))
            else:
                out_cpp.append('%s %s::%s() const { return GetEtd%s("%s", kEtdNamespace); }\n' % (ct, cls, m, acc, name))
                out_cpp.append('void %s::%s(%s value) { SetEtd%s("%s", kEtdNamespace, value); }\n'
                               % (cls, setter_name(name), pt, acc, name))
        elif kind == "node":
            out_h.append("  IXML%s %s() const;\n" % (typ, m))
            out_cpp.append('IXML%s %s::%s() const { return ChildNode<IXML%s>("%s"); }\n' % (typ, cls, m, typ, name))
        elif kind == "list":
            out_h.append("  IXML%sList %s() const;\n" % (typ, m))
            out_cpp.append('IXML%sList %s::%s() const { return IXML%sList(Node(), "%s"); }\n' % (typ, cls, m, typ, name))
    out_h.append("};\nusing TXML%s = %s;\n\n" % (t, cls))
    out_cpp.append("\n")


def generate(kind, outdir):
    mod = kind["module"]
    h = ["// Generated by tools/gen_jpk_model.py from its element tables; edit the tables, not this file.\n",
         "// Typed view of %s documents: one class per complex type, members in schema order.\n" % kind["title"],
         "#pragma once\n\n#include <cstdint>\n#include <filesystem>\n#include <string>\n#include <string_view>\n\n",
         '#include "jpk/model/typed_node.h"\n\n',
         "namespace kx::jpk::%s {\n\n" % kind["namespace"],
         'inline constexpr const char* kTargetNamespace = "%s";\n\n' % kind["target"]]
    cpp = ["// Generated by tools/gen_jpk_model.py; edit the tables, not this file.\n",
           '#include "jpk/model/%s.h"\n\n' % mod,
           "namespace kx::jpk::%s {\n\n" % kind["namespace"]]
    if "etd" in kind:
        h.append('// Namespace of the common definitions whose members are reached by local name.\n')
        h.append('inline constexpr const char* kEtdNamespace = "%s";\n\n' % kind["etd"])
    # Lists first need item classes: emit classes in table order (items are listed before their parents).
    lists = set()
    for t, base, members in kind["types"]:
        for name, k, typ in members:
            if k == "list":
                lists.add(typ)
    for t, base, members in kind["types"]:
        gen_class(t, base, members, h, cpp)
        if t in lists:
            h.append("using IXML%sList = TypedList<IXML%s>;\nusing TXML%sList = IXML%sList;\n\n" % (t, t, t, t))
    root_cls = kind["types"][-1][0]
    h.append("// The root element \"JPK\" of a %s document in the kind's target namespace.\n" % kind["title"])
    h.append("IXML%s %s();\n" % (root_cls, kind["new"]))
    h.append("// Loads a file; fails when its root is not \"JPK\" in the kind's namespace.\n")
    h.append("IXML%s %s(const std::filesystem::path& fileName);\n" % (root_cls, kind["load"]))
    h.append("// The typed root of a document already held (bound, or created when empty).\n")
    h.append("IXML%s GetJPKRoot(xml::XmlDocument document);\n\n" % root_cls)
    h.append("}  // namespace kx::jpk::%s\n" % kind["namespace"])
    cpp.append("IXML%s GetJPKRoot(xml::XmlDocument document) {\n" % root_cls)
    cpp.append('  return IXML%s(document.BindDocumentElement("JPK", kTargetNamespace));\n}\n\n' % root_cls)
    cpp.append("IXML%s %s() { return GetJPKRoot(NewJpkDocument()); }\n\n" % (root_cls, kind["new"]))
    cpp.append("IXML%s %s(const std::filesystem::path& fileName) {\n" % (root_cls, kind["load"]))
    cpp.append('  return GetJPKRoot(LoadJpkDocument(fileName, kTargetNamespace, "%s"));\n}\n\n' % kind["title"])
    cpp.append("}  // namespace kx::jpk::%s\n" % kind["namespace"])
    with open(os.path.join(outdir, mod + ".h"), "w") as f:
        f.write("".join(h))
    with open(os.path.join(outdir, mod + ".cpp"), "w") as f:
        f.write("".join(cpp))


KINDS = (V7M, FA, MAG, KR)


def generated_files():
    return [kind["module"] + ext for kind in KINDS for ext in (".h", ".cpp")]


def check(outdir):
    """Generates into a temporary folder and names the files of outdir that differ."""
    with tempfile.TemporaryDirectory() as tmp:
        for kind in KINDS:
            generate(kind, tmp)
        stale = []
        for name in generated_files():
            committed = os.path.join(outdir, name)
            if not os.path.isfile(committed):
                stale.append(name + " (missing)")
            elif not filecmp.cmp(os.path.join(tmp, name), committed, shallow=False):
                stale.append(name)
    if stale:
        print("differs from the tables in tools/gen_jpk_model.py:", ", ".join(stale), file=sys.stderr)
        print("regenerate with: python3 tools/gen_jpk_model.py", file=sys.stderr)
        return 1
    print("up to date:", ", ".join(generated_files()))
    return 0


def main(argv=None):
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser = argparse.ArgumentParser(description="Generates the typed JPK document views.")
    parser.add_argument("--out", default=os.path.join(root, "src", "jpk", "model"),
                        help="folder of the generated files (default: src/jpk/model)")
    parser.add_argument("--check", action="store_true",
                        help="write nothing; exit 1 when the files in the folder differ from the tables")
    args = parser.parse_args(argv)
    if args.check:
        return check(args.out)
    os.makedirs(args.out, exist_ok=True)
    for kind in KINDS:
        generate(kind, args.out)
    print("written:", ", ".join(k["module"] for k in KINDS))
    return 0


if __name__ == "__main__":
    sys.exit(main())
