#pragma once
// The JPK_V7M editor without its window: the active document and its file
// name, the open, save, link and close flows, the declaration and receipt
// commands, and the values the window shows (RefreshInfo). The desktop
// window and the command line call the same code; the window only turns the
// data of EditorInfo into widgets.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "app/app_context.h"
#include "editor/v7m_declaration.h"
#include "editor/v7m_receipt.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"

namespace kx::editor {

inline constexpr const char* kProgramTitle = "Kalvor JPK";
inline constexpr const char* kV7MSaveSuffix = "_jpk_v7m_3";
inline constexpr const char* kNoDeclarationCaption = "Deklaracja - brak części deklaracyjnej w pliku JPK_V7";

// Colours the window gives a field; the rest of the look is the window's.
enum class FieldColor { Face, Red };

// One of the two tax checks: the field's colour and its hint.
struct TaxCheck {
  bool shown = false;  // a hint exists (declaration and records present)
  bool ok = true;
  FieldColor color = FieldColor::Face;
  std::string hint;
  std::string difference;  // declared minus records, 2 places ("-0.4")
};

// Everything RefreshInfo shows; the comments name the control that shows it.
struct EditorInfo {
  std::string caption;                                     // the window title
  std::string generatedAt;                                 // edGenDate
  std::string nip;                                         // edNIP
  std::string dateRange;                                   // edDateRange
  std::string saleCount;                                   // edSaleLinesCount
  std::string saleTax;                                     // edSaleTaxSum
  std::string purchaseCount;                               // edBuyLinesCount
  std::string purchaseTax;                                 // edBuyTaxSum
  std::string declarationCaption = kNoDeclarationCaption;  // the title of gbDeklaracja
  bool declarationEnabled = false;                         // gbDeklaracja
  // The declaration positions: p<n> in edP<n>, p40Plus42 in edP40Plus42.
  std::string p37, p38, p39, p40Plus42, p48, p49, p50, p51, p52, p53, p54;
  std::string p60, p61, p62, p68, p69;
  std::string ordzu;                            // edORDZU
  bool p49Enabled = false, p50Enabled = false;  // edP49, edP50
  bool p51Bold = false, p62Bold = false;        // edP51, edP62
  bool surplusEnabled = false;                  // gbNadwyzkaPodatku, also edP54 and cbP59
  bool refundTermsEnabled = false;              // the five radio buttons (edP54 not empty)
  RefundTerm refund = RefundTerm::None;         // the checked radio button
  bool p59 = false;                             // cbP59
  bool p60Enabled = false;                      // edP60 and edP61
  TaxCheck check38, check48;                    // edP38 and edP48
  bool receiptSalesEnabled = false;             // btnAddParagonSale
  bool recalcDeclarationEnabled = false;        // btnRecalcDeclaration
  bool clearDeclarationEnabled = false;         // btnClearDeclaration
};

// The typed fields as the window holds them after RefreshInfo, for the next
// calculation.
DeclarationInput DeclarationInputFrom(const EditorInfo& info);

// Whether typed declaration fields say something else than the document
// (shown: RefreshInfo of it): amounts compared by value ("20 000" equals
// "20000"), texts without surrounding blanks.
bool TypedDeclarationDiffers(const DeclarationInput& typed, const EditorInfo& shown);

class V7MEditor {
 public:
  // workingDir: where the line-break clean-up keeps its working copy.
  explicit V7MEditor(AppContext& ctx, std::filesystem::path workingDir = std::filesystem::current_path());

  AppContext& Context() { return m_ctx; }
  bool HasDocument() const { return !m_jpk.IsNull(); }
  IXMLJPK Document() const { return m_jpk; }
  // The file the document was read from or last saved to; "nowy plik" for a
  // generated or linked document not saved yet.
  const std::string& FileName() const { return m_fileName; }
  bool Modified() const;

  // The new-or-link dialog (TdlgLinkAsk): Yes "Połącz pliki", No "Nowy
  // plik", Cancel closed. Without one, the question goes to the user port.
  std::function<ui::ModalResult()> askNewOrLink;

  // On (the window): the line-break clean-up rewrites the file in place, with
  // its backup. Off (batch commands that write their result elsewhere or only
  // at the end): the clean-up is applied to a working copy and the file is
  // left alone.
  bool cleanUpInPlace = true;

  // Ok without a document or changes; else asks "Zapisać dokonane zmiany?",
  // saves on Yes, and returns Yes, No or Cancel (closed, or the save dialog
  // cancelled: the action that asked stops).
  ui::ModalResult AskSaveChanges();
  // Closing the window: offers to save changes; false only when the user
  // chose to save and then cancelled the save dialog (the window stays open).
  bool CloseQuery();
  // Ending the program: unsaved changes are offered for saving (Yes, No,
  // Cancel); false when the program must not end.
  bool ProgramCloseQuery();
  // Ok without a document; else the new-or-link dialog: on No the document
  // is dropped and Ok returned; Yes and Cancel are returned as they are.
  ui::ModalResult AskNewOrLink();
  // The same question without dropping anything: Ok (no document), Yes
  // (link), No (a new document) or Cancel.
  ui::ModalResult NewOrLinkChoice();

  // The open command: offers to save, asks new-or-link, shows the open
  // dialog, then OpenFile. False when it stopped or failed.
  bool OpenCommand();
  // The open command's work on a chosen file: clean-up (ClearEnter), load,
  // prefix repair, the rola fix; then linked into the active document (with
  // the offer to save) or made the active document and recalculated. A file
  // that is not a JPK_V7M(3) document gives the error box "Zła struktura
  // pliku. Brak zgodności z JPK_V7M (3)" and false; the editor and the file
  // are unchanged.
  bool OpenFile(const std::string& fileName);
  // The same for linking without the offer to save: the file's records are
  // added to the active document, which becomes "nowy plik". A file is never
  // linked with itself; one of another NIP or month only after the user
  // agrees. False when nothing was linked.
  bool LinkFile(const std::string& fileName);

  // A generated document: linked into the active one, or made active as
  // "nowy plik" and recalculated. False when the user refused linking a
  // document of another NIP or month (nothing changed). Linked, the
  // generated document gives its records away (LinkJPK).
  // With replace, it takes the place of the active document instead (the
  // user chose "Nowy plik"); the old one goes only once the new one is ready.
  bool AcceptGenerated(IXMLJPK generated, bool replace = false);
  // The hand-over after a generation: AcceptGenerated, then the declaration
  // when asked for, with the typed fields given (without them, those
  // RefreshInfo shows after the hand-over).
  bool AcceptGenerated(IXMLJPK generated, bool declaration, const std::optional<DeclarationInput>& typed,
                       bool replace = false);
  // Drops the active document without saving.
  void Drop();

  // The save command: the creation time, the save dialog (proposing
  // "yyyy-mm" + "_jpk_v7m_3" + NameSufix), the two-pass save. False when
  // there is nothing to save or the dialog was cancelled.
  bool Save();
  // The save under a known name (no dialog).
  void SaveTo(const std::string& fileName);

  EditorInfo RefreshInfo() const;

  // The declaration command on the active document; a refund mismatch shows
  // its warning and changes nothing.
  DeclarationResult RecalcDeclaration(const DeclarationInput& input);
  // Removes the declaration and writes the file at once under FileName();
  // a document never saved asks for the name through the save dialog first.
  // False when there was no declaration or the user refused the name.
  bool ClearDeclaration();
  // The same, written under the given name.
  void ClearDeclarationTo(const std::string& fileName);

  // Receipt sales: finds or (after the question) creates the receipt record,
  // hands its fields to the dialog, and on OK writes them back and
  // recalculates. The dialog returns true for OK; Cancel (or a failure)
  // removes a record created here. False when nothing was written.
  bool AddParagonSale(const std::function<bool(ReceiptFields&)>& dialog);

 private:
  IXMLJPK LoadForEditor(const std::string& fileName);
  // Linking a document of another NIP or month needs the user's consent.
  bool ConfirmLink(const IXMLJPK& other);
  void SetFileName(const std::string& fileName);
  void Recalc(IXMLJPK jpk);

  AppContext& m_ctx;
  std::filesystem::path m_workingDir;
  IXMLJPK m_jpk;
  std::string m_fileName;
};

}  // namespace kx::editor
