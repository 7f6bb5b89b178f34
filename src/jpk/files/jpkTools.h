#pragma once
// JPK file services: new documents with their namespaces, header and subject
// from the firm profile; loading with the namespace-prefix repair and its
// backup; the format-and-save pass; the save-as flows; backups.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "jpk/files/jpk_validate.h"
#include "jpk/model/Schemat_JPK_FA4_v10.h"
#include "jpk/model/Schemat_JPK_KR1_v10.h"
#include "jpk/model/Schemat_JPK_MAG1_v10.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "platform/temp_file.h"
#include "platform/xml/streamed_save.h"

namespace kx::jpk {

// Common-definitions namespaces bound to "etd" in each kind's new documents.
inline constexpr const char* kEtdV7M = "http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2022/09/13/eD/DefinicjeTypy/";
inline constexpr const char* kEtdFA = "http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2018/08/24/eD/DefinicjeTypy/";
inline constexpr const char* kEtd2016 = "http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2016/01/25/eD/DefinicjeTypy/";
inline constexpr const char* kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";

// Local date and time of creation, "yyyy-MM-ddTHH:mm:ss".
struct CreationTime {
  Date date;
  int hour = 0, minute = 0, second = 0;
  static CreationTime Now();
  std::string Text() const;
};

// First and last day of the month that holds the date.
Date FirstDayOfMonth(const Date& d);
Date LastDayOfMonth(const Date& d);

void PrepareV7MDocument(v7m::IXMLJPK root);
void FillV7MHeader(const AppContext& ctx, v7m::IXMLJPK root, bool correction,
                   const CreationTime& now = CreationTime::Now());

// Fails naming the keys of the firm's address (section [System] of the
// configuration) that the JPK_FA, JPK_MAG and JPK_KR headers need and the
// profile leaves empty: a file without them is refused by the schemas.
void RequireFirmAddress(const AppSettings& s);

void PrepareFADocument(fa::IXMLJPKFA root);
void FillFAHeader(const AppContext& ctx, fa::IXMLJPKFA root, const CreationTime& now = CreationTime::Now());

void PrepareMAGDocument(mag::IXMLJPKMAG root);
void FillMAGHeader(const AppContext& ctx, mag::IXMLJPKMAG root, const CreationTime& now = CreationTime::Now());

void PrepareKRDocument(kr::IXMLJPKKR root);
void FillKRHeader(const AppContext& ctx, kr::IXMLJPKKR root, const CreationTime& now = CreationTime::Now());

// Moves the file into the "backup" subfolder of its folder (or its own folder
// when that cannot be made) under the prefix character and its name; returns
// the backup name. An older backup of the name is replaced.
std::string BackupJpkFile(const std::string& fileName, char prefix);
// The same backup as a copy: the file stays where it is (a save replaces it
// afterwards). Fails with a Polish message when the copy cannot be made.
std::string CopyJpkFileToBackup(const std::string& fileName, char prefix);

// A shallow copy of a node of another document, for the namespace repair:
// elements of the main namespace land unprefixed in the default namespace,
// others take the prefix that the target root declares for their namespace
// (declared there under the old prefix, or a fresh one, when missing).
xml::XmlNode CloneNodeForRepair(xml::XmlDocument target, std::string_view mainNamespace, const xml::XmlNode& node,
                                bool deep);
void CopyChildrenForRepair(xml::XmlDocument target, std::string_view mainNamespace, xml::XmlNode targetNode,
                           const xml::XmlNode& sourceNode);

// After loading: when the main namespace is bound to a prefix, asks whether to
// rewrite the file in the expected form; on Yes the file is backed up ("~"),
// rewritten and formatted, and root becomes the document read from it. The
// old document is emptied as it is copied (handles into it must not be used
// after a Yes); a failure on the way leaves root null.
// True when the file was rewritten.
bool RepairV7MPrefixes(AppContext& ctx, v7m::IXMLJPK& root, const std::string& fileName);
bool RepairFAPrefixes(AppContext& ctx, fa::IXMLJPKFA& root, const std::string& fileName);

// A JPK_V7M document saved under fileName as a whole (written to a
// private file beside it, one rename at the end): the old file stays whole
// until the finished one replaces it, and nothing is left after a failure.
// The file is written indented in one pass from the document, and root keeps
// the document as reading the finished file back would give it.
void SaveV7MFile(v7m::IXMLJPK& root, const std::string& fileName);
void SaveFAFile(fa::IXMLJPKFA& root, const std::string& fileName);
void SaveMAGFile(mag::IXMLJPKMAG& root, const std::string& fileName);
void SaveKRFile(kr::IXMLJPKKR& root, const std::string& fileName);

// What the schema check of a saved document found: its complaints, or why
// it could not be made.
struct SavedFileCheck {
  std::vector<SchemaError> errors;
  std::optional<std::string> failure;
};

// A JPK file written to a private file while it is made, for documents too
// large to be held whole (a month of a million postings): Write() writes the
// elements under the document element made so far and frees them (no handle
// into them may be used afterwards), Made() does so every few thousand
// elements; Finish() writes the rest. The save
// check validates the text on a second thread as it is written (the
// complaints name their lines); Place() reports its outcome and puts the
// file in place under the name given at the start, or another one, in one
// rename. The bytes are those the kind's whole save writes of the whole
// document. Until then an old file stays whole; a writer dropped before
// leaves nothing behind.
class JpkFileWriter {
 public:
  // root: the document element of a new document of one of the four kinds.
  JpkFileWriter(const xml::XmlNode& root, const std::string& fileName);
  ~JpkFileWriter();
  JpkFileWriter(const JpkFileWriter&) = delete;
  JpkFileWriter& operator=(const JpkFileWriter&) = delete;

  void Write();
  // Told after each element made: every few thousand it writes them (Write).
  void Made();
  void Finish();
  // Once only, after Finish; fails with kx::Error (the file is then gone).
  void Place(const std::string& fileName = {});

 private:
  std::string m_fileName;
  std::string m_kind;  // "JPK_KR(1)" and the like
  bool m_finished = false;
  int m_made = 0;
  std::unique_ptr<TempFile> m_work;
  std::unique_ptr<xml::XmlStreamedSave> m_out;
  std::unique_ptr<StreamValidation> m_check;
  SavedFileCheck m_outcome;
};

// The JPK_KR of the ledger: a new document written so.
class KRFileWriter : public JpkFileWriter {
 public:
  explicit KRFileWriter(const std::string& fileName) : KRFileWriter(kr::NewJPKKR(), fileName) {}
  kr::IXMLJPKKR Root() const { return m_root; }

 private:
  KRFileWriter(kr::IXMLJPKKR root, const std::string& fileName) : JpkFileWriter(root.Node(), fileName), m_root(root) {}
  kr::IXMLJPKKR m_root;
};

// A check of every JPK file the program saves, set once by the front end
// (none by default). schemas gives the schema folder (empty: nothing to check
// with); the finished document is validated with it while its file is being
// written, and report is told the outcome before the file takes its place.
// report may throw kx::Error to keep the old file: nothing is written.
struct SaveCheck {
  std::function<std::filesystem::path()> schemas;
  std::function<void(const SavedFileCheck& outcome, const std::string& fileName)> report;
};
void SetSaveCheck(SaveCheck check);

// Indents a file already written: it is read back and written again
// indented; root becomes the document of the final file, also when this
// failed.
void FormatAndSaveV7M(v7m::IXMLJPK& root, const std::string& fileName);
void FormatAndSaveFA(fa::IXMLJPKFA& root, const std::string& fileName);
void FormatAndSaveMAG(mag::IXMLJPKMAG& root, const std::string& fileName);
void FormatAndSaveKR(kr::IXMLJPKKR& root, const std::string& fileName);

// Proposed name of a save: the working month "yyyy-mm", the kind's suffix and
// the firm's NameSufix.
std::string ProposedFileName(const AppContext& ctx, const std::string& suffix);

// The save dialog (SaveDlg, which keeps its last name) offering the proposed
// name: when it holds no name yet, or every time when proposeEveryTime; its
// initial folder is SaveDir when it held no name. Returns the chosen name
// with the default extension added when it has none, or nothing on Cancel.
// An existing file other than ctx.JpkFileName is replaced only after a Yes to
// the question, and only when its copy ("~") lies in the backup folder;
// No, or a copy that failed (its message shown), count as Cancel.
std::optional<std::string> AskSaveFileName(AppContext& ctx, const std::string& suffix, bool proposeEveryTime = false);

// The save-as flows: the save dialog (which keeps its last name), the wait
// message, the save and the formatting pass. False when the user cancelled.
bool SaveFAAs(AppContext& ctx, fa::IXMLJPKFA& root);
bool SaveMAGAs(AppContext& ctx, mag::IXMLJPKMAG& root);
bool SaveKRAs(AppContext& ctx, kr::IXMLJPKKR& root);
// The same dialog and wait message for a JPK_KR file already written.
bool SaveKRAs(AppContext& ctx, KRFileWriter& made);

}  // namespace kx::jpk
