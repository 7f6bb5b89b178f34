#pragma once
// The lower part of the JPK_V7M editor window: the records of the document
// in two grids ("Sprzedaż", "Zakup") with a filter, totals, typed editing,
// adding and deleting records with undo and redo; the sums per rate group;
// and the findings of "Sprawdź plik", whose double-click selects the record.

#include <QWidget>
#include <functional>
#include <memory>

#include "app/app_context.h"
#include "editor/record_table.h"
#include "jpk/check/finding.h"
#include "jpk/model/Schemat_JPK_V7M3_v10E.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTableView;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QUndoStack;
class RecordModel;

class RecordsPanel : public QWidget {
  Q_OBJECT

 public:
  RecordsPanel(kx::AppContext& ctx, QWidget* parent = nullptr);
  ~RecordsPanel() override;

  // Called after every command of the window: another document (or other
  // records) rebuilds the grids and forgets the undo history; the same
  // records are only shown again.
  void Sync(const kx::jpk::v7m::IXMLJPK& document);
  // What an edit here changed: the window refreshes its fields.
  std::function<void()> changed;

  // The check of the document; the findings go to their tab.
  void CheckDocument();
  // Selects the record in its grid (the filter is cleared if it hides it).
  bool SelectRecord(kx::editor::RecordSide side, int64_t lp);

  // For the tests and the screenshots.
  QTabWidget* Tabs() const { return m_tabs; }
  QTableView* Grid(kx::editor::RecordSide side) const;
  RecordModel* Model(kx::editor::RecordSide side) const;
  QLineEdit* FilterBox() const { return m_filter; }
  QUndoStack* UndoStack() const { return m_undo; }
  QTreeWidget* FindingsList() const { return m_findings; }
  QTableWidget* RateTable() const { return m_rates; }
  QLabel* Totals(kx::editor::RecordSide side) const;

  void AddRecord();
  void DeleteRecord();

 private:
  struct Side;
  Side& Current();
  Side* SideOfTab(int tab);
  void Rebuild(const kx::jpk::v7m::IXMLJPK& document);
  void AfterEdit(Side& side, bool rowsChanged);
  void ShowTotals(Side& side);
  void ShowRateSums();
  // Totals and sums of a large file take a walk over every record: they are
  // marked stale after a change and computed when their tab is shown.
  void MarkStale();
  void RefreshVisible();
  void EditCell(Side& side, int tableRow, int column, const QString& text);
  void FindingActivated(QTreeWidgetItem* item);
  template <class F>
  bool Guarded(F&& action);

  kx::AppContext& m_ctx;
  kx::jpk::v7m::IXMLJPK m_document;
  std::unique_ptr<Side> m_sales, m_purchases;
  QTabWidget* m_tabs = nullptr;
  QLineEdit* m_filter = nullptr;
  QCheckBox* m_allAmounts = nullptr;
  QPushButton* m_add = nullptr;
  QPushButton* m_delete = nullptr;
  QPushButton* m_undoButton = nullptr;
  QPushButton* m_redoButton = nullptr;
  QPushButton* m_check = nullptr;
  QUndoStack* m_undo = nullptr;
  QTableWidget* m_rates = nullptr;
  QLabel* m_ratesNote = nullptr;
  bool m_ratesStale = true;
  QTreeWidget* m_findings = nullptr;
  QLabel* m_findingsNote = nullptr;
};
