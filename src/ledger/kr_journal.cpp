// The journal (Dziennik) from its query file and the account entries
// (KontoZapis) from the ledger's "details" table, each with its control
// element, which is written also when the step fails.

#include "app/kxTools.h"
#include "ledger/kr_generate.h"
#include "ledger/kr_steps.h"
#include "platform/error.h"
#include "platform/tables/query.h"
#include "platform/tables/table.h"

namespace kx::ledger::detail {

namespace {

// The journal query's line that restricts the period, replaced in December.
constexpr size_t kPeriodLine = 3;

// Runs the step; the control element is written after it, also after a
// failure, which then goes on.
template <typename Step, typename Control>
void WithControl(Step step, Control control) {
  try {
    step();
  } catch (...) {
    control();
    throw;
  }
  control();
}

}  // namespace

int WriteJournal(const KrRun& run, jpk::kr::IXMLJPKKR root) {
  int count = 0;
  double sum = 0;
  WithControl(
      [&] {
        tables::Query query(run.ctx.Session);
        query.LoadFromFile(QueryFile(run, "SQL/dziennik.sql"));
        query.SaveToFile(run.workingDir / "qry.sql");
        query.SetDatabaseName(run.databaseFolder);
        if (run.december) {
          query.SetLine(kPeriodLine, Format("WHERE (D.\"Period Id\" >= %d) ", static_cast<int>(run.periodId)));
        } else {
          query.SetParam("PeriodId", run.periodId);
        }
        query.Open();
        auto journal = root.Dziennik();
        for (; !query.Eof(); query.Next()) {
          ++count;
          const double amount = RoundAmount(2, query.FieldByName("KwotaOperacji").AsFloat());
          sum = RoundAmount(2, sum + amount);
          auto text = [&](const char* field) { return query.FieldByName(field).AsString(); };
          auto item = journal.Add();
          item.SetTyp("G");
          item.SetLpZapisuDziennika(count);
          item.SetNrZapisuDziennika(text("Seq No"));
          item.SetOpisDziennika(text("Book Type"));
          item.SetNrDowoduKsiegowego(text("Book No"));
          item.SetRodzajDowodu(text("Book Id"));
          item.SetDataOperacji(text("Date"));
          item.SetDataDowodu(text("Date"));
          item.SetDataKsiegowania(text("Book Date"));
          item.SetKodOperatora(text("Operator Id"));
          const std::string comments = text("Comments");
          item.SetOpisOperacji(comments.empty() ? text("Book Type") : comments);
          item.SetDziennikKwotaOperacji(amount);
          run.Made();
        }
        query.Close();
      },
      [&] {
        auto control = root.DziennikCtrl();
        control.SetLiczbaWierszyDziennika(count);
        control.SetSumaKwotOperacji(sum);
      });
  return count;
}

int WriteAccountEntries(const KrRun& run, jpk::kr::IXMLJPKKR root) {
  int count = 0;
  double debitSum = 0, creditSum = 0;
  WithControl(
      [&] {
        tables::Table details(run.ctx.Session);  // closed by its destructor, also after a failure
        details.SetTableName(run.databaseFolder + "details");
        details.Open();
        const int64_t closing = run.december ? run.periodId + 10 : -1;
        tables::Field& period = details.FieldByName("Period Id");
        tables::Field& primary = details.FieldByName("Primary Account");
        tables::Field& secondary = details.FieldByName("Secondary Account");
        tables::Field& secondary2 = details.FieldByName("Secondary2 Account");
        tables::Field& seqNo = details.FieldByName("Seq No");
        tables::Field& description = details.FieldByName("Description");
        tables::Field& debit = details.FieldByName("Debit");
        tables::Field& credit = details.FieldByName("Credit");
        auto entries = root.KontoZapis();
        for (details.First(); !details.Eof(); details.Next()) {
          const int64_t id = period.AsInteger();
          if (period.IsNull() || (id != run.periodId && id != closing)) continue;
          ++count;
          const std::string code = FormatAccountNumber(static_cast<uint16_t>(primary.AsInteger()),
                                                       static_cast<uint16_t>(secondary.AsInteger()),
                                                       static_cast<uint16_t>(secondary2.AsInteger()));
          const std::string text = description.AsString();
          auto item = entries.Add();
          item.SetTyp("G");
          item.SetLpZapisu(count);
          item.SetNrZapisu(seqNo.AsString());
          if (debit.IsNull()) {
            item.SetKodKontaWinien("null");
            item.SetKwotaWinien(0);
          } else {
            const double d = RoundAmount(2, debit.AsFloat());
            debitSum = RoundAmount(2, debitSum + d);
            item.SetKodKontaWinien(code);
            item.SetKwotaWinien(d);
            if (!text.empty()) item.SetOpisZapisuWinien(text);
          }
          if (credit.IsNull()) {
            item.SetKodKontaMa("null");
            item.SetKwotaMa(0);
          } else {
            const double c = RoundAmount(2, credit.AsFloat());
            creditSum = RoundAmount(2, creditSum + c);
            item.SetKodKontaMa(code);
            item.SetKwotaMa(c);
            if (!text.empty()) item.SetOpisZapisuMa(text);
          }
          run.Made();
        }
        details.Close();
      },
      [&] {
        auto control = root.KontoZapisCtrl();
        control.SetLiczbaWierszyKontoZapisj(count);
        control.SetSumaWinien(debitSum);
        control.SetSumaMa(creditSum);
      });
  return count;
}

}  // namespace kx::ledger::detail
