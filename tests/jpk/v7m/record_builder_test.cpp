#include "jpk/v7m/record_builder.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "jpk/v7m/record_draft.h"
#include "platform/error.h"

using kx::jpk::v7m::BuildRecord;
using kx::jpk::v7m::RecordBuilder;
using kx::jpk::v7m::RecordDraft;

namespace {

RecordDraft Draft(int i) {
  RecordDraft draft = i % 3 == 0 ? RecordDraft::Purchase() : RecordDraft::Sale();
  draft.Set(i % 3 == 0 ? "LpZakupu" : "LpSprzedazy", std::to_string(i));
  draft.Set(i % 3 == 0 ? "NazwaDostawcy" : "NazwaKontrahenta", "Firma " + std::to_string(i * 7));
  draft.Place(i % 3 == 0 ? "K_43" : "K_20", std::to_string(i % 100) + ".5");
  return draft;
}

// The numbers of the records under Ewidencja, in document order.
std::string Numbers(kx::jpk::v7m::IXMLJPK doc) {
  std::string out;
  for (kx::xml::XmlNode r = doc.Ewidencja().Node().FirstChild(); !r.IsNull(); r = r.NextSibling()) {
    out += r.FirstChild().Text() + ",";
  }
  return out;
}

}  // namespace

// Records built on the second thread, in batches and with the caller held back
// when it drafts faster, make the document that building them one by one makes;
// a few are built at Finish on the caller's thread.
TEST(RecordBuilder, BuildsEveryRecordInOrder) {
  constexpr int kBatch = static_cast<int>(kx::BatchWorker<kx::jpk::v7m::RecordDraft>::kBatch);
  for (int count : {0, 3, kBatch - 1, kBatch, kBatch + 1, 10000}) {
    SCOPED_TRACE(count);
    auto built = kx::jpk::v7m::NewJPK();
    {
      RecordBuilder records(built.Ewidencja().Node());
      for (int i = 1; i <= count; ++i) records.Add(Draft(i));
      records.Finish();
    }
    auto expected = kx::jpk::v7m::NewJPK();
    kx::xml::XmlNode parent = expected.Ewidencja().Node();
    for (int i = 1; i <= count; ++i) BuildRecord(parent, Draft(i));
    EXPECT_EQ(built.OwnerDocument().Xml(), expected.OwnerDocument().Xml());
    EXPECT_EQ(built.Ewidencja().SprzedazWiersz().Count() + built.Ewidencja().ZakupWiersz().Count(), count);
  }
}

// A caller that fails leaves a document with every record it drafted before,
// as a run that builds its records itself would.
TEST(RecordBuilder, CallerFailureKeepsTheRecordsGiven) {
  for (int count : {5, 3000}) {
    SCOPED_TRACE(count);
    auto doc = kx::jpk::v7m::NewJPK();
    std::string expected;
    try {
      RecordBuilder records(doc.Ewidencja().Node());
      for (int i = 1; i <= count; ++i) {
        records.Add(Draft(i));
        expected += std::to_string(i) + ",";
      }
      throw std::runtime_error("przerwano");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(Numbers(doc), expected);
  }
}

// A failure of the building reaches the caller, from a later Add or from
// Finish; without Finish the builder still stops cleanly.
TEST(RecordBuilder, BuildingFailureReachesTheCaller) {
  for (int count : {3, 5000}) {
    SCOPED_TRACE(count);
    auto doc = kx::jpk::v7m::NewJPK();
    kx::xml::XmlNode ewidencja = doc.Ewidencja().Node();
    ewidencja.SetText("tekst");
    kx::xml::XmlNode text = ewidencja.FirstChild();
    EXPECT_THROW(
        {
          RecordBuilder records(text);
          for (int i = 1; i <= count; ++i) records.Add(Draft(i));
          records.Finish();
        },
        kx::Error);
    EXPECT_EQ(ewidencja.ChildCount(), 1);
    EXPECT_EQ(ewidencja.Text(), "tekst");
  }
}
