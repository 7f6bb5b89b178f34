#include "editor/ui/RecordsPanel.h"

#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTreeWidget>
#include <QUndoCommand>
#include <QUndoStack>
#include <variant>

#include "app/data_files.h"
#include "editor/declaration_check.h"
#include "editor/rate_sums.h"
#include "editor/ui/RecordModel.h"
#include "jpk/v7m/v7m_records.h"
#include "platform/error.h"

using kx::editor::CellState;
using kx::editor::ColumnKind;
using kx::editor::RecordSide;
using kx::editor::RecordTable;
using kx::jpk::check::Finding;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// An undoable step whose first redo has already been done by the panel.
class Step : public QUndoCommand {
 public:
  Step(const QString& text, std::function<void()> redo, std::function<void()> undo)
      : QUndoCommand(text), m_redo(std::move(redo)), m_undo(std::move(undo)) {}
  void redo() override {
    if (m_done) m_redo();
    m_done = true;
  }
  void undo() override { m_undo(); }

 private:
  std::function<void()> m_redo, m_undo;
  bool m_done = false;
};

// A column named so that it is found again after the columns changed (all
// amounts shown or not): by its element, or by its kind.
using ColumnKey = std::variant<std::string, ColumnKind>;

ColumnKey KeyOf(const RecordTable& t, int column) {
  const auto& c = t.Column(column);
  if (c.element.empty()) return c.kind;
  return c.element;
}

int ColumnOfKey(const RecordTable& t, const ColumnKey& key) {
  const int column = std::holds_alternative<std::string>(key) ? t.ColumnOf(std::get<std::string>(key))
                                                              : t.ColumnOf(std::get<ColumnKind>(key));
  if (column < 0) throw kx::Error("Kolumna nie jest już pokazywana");
  return column;
}

int RecordCount(const kx::jpk::v7m::IXMLJPK& jpk, RecordSide side) {
  if (jpk.IsNull()) return 0;
  const kx::xml::XmlNode ewidencja = jpk.Node().FindChild("Ewidencja");
  int n = 0;
  if (side == RecordSide::Sales) {
    for (auto r = kx::jpk::v7m::FirstSaleRecord(ewidencja); !r.IsNull(); r = kx::jpk::v7m::NextSaleRecord(r)) ++n;
  } else {
    for (auto r = kx::jpk::v7m::FirstPurchaseRecord(ewidencja); !r.IsNull(); r = kx::jpk::v7m::NextPurchaseRecord(r)) {
      ++n;
    }
  }
  return n;
}

}  // namespace

struct RecordsPanel::Side {
  RecordSide side;
  QTableView* view = nullptr;
  RecordModel* model = nullptr;
  QLabel* totals = nullptr;
  bool totalsStale = true;
  RecordTable& Table() const { return *model->Table(); }
  bool HasTable() const { return model->Table() != nullptr; }
};

RecordsPanel::RecordsPanel(kx::AppContext& ctx, QWidget* parent) : QWidget(parent), m_ctx(ctx) {
  setObjectName(QStringLiteral("pnlRecords"));
  m_undo = new QUndoStack(this);

  auto* tools = new QHBoxLayout;
  auto* filterLabel = new QLabel(tr("&Szukaj:"), this);
  m_filter = new QLineEdit(this);
  m_filter->setObjectName(QStringLiteral("edFilter"));
  m_filter->setPlaceholderText(tr("nazwa, NIP lub numer dowodu"));
  m_filter->setClearButtonEnabled(true);
  filterLabel->setBuddy(m_filter);
  m_allAmounts = new QCheckBox(tr("Wszystkie &kwoty"), this);
  m_allAmounts->setObjectName(QStringLiteral("cbAllAmounts"));
  m_allAmounts->setToolTip(tr("Kolumny wszystkich pól K_, także tych, których nie ma w pliku"));
  m_add = new QPushButton(tr("&Dodaj rekord"), this);
  m_add->setObjectName(QStringLiteral("btnAddRecord"));
  m_delete = new QPushButton(tr("Usuń &rekord"), this);
  m_delete->setObjectName(QStringLiteral("btnDeleteRecord"));
  m_undoButton = new QPushButton(tr("&Cofnij"), this);
  m_undoButton->setObjectName(QStringLiteral("btnUndo"));
  m_redoButton = new QPushButton(tr("Ponó&w"), this);
  m_redoButton->setObjectName(QStringLiteral("btnRedo"));
  m_check = new QPushButton(tr("Sprawdź p&lik"), this);
  m_check->setObjectName(QStringLiteral("btnCheckFile"));
  for (QWidget* w : std::initializer_list<QWidget*>{filterLabel, m_filter, m_allAmounts, m_add, m_delete, m_undoButton,
                                                    m_redoButton, m_check}) {
    tools->addWidget(w, w == m_filter ? 1 : 0);
  }

  m_tabs = new QTabWidget(this);
  m_tabs->setObjectName(QStringLiteral("tabRecords"));
  auto makeSide = [this](RecordSide side, const QString& title) {
    auto s = std::make_unique<Side>();
    s->side = side;
    auto* page = new QWidget(m_tabs);
    auto* layout = new QVBoxLayout(page);
    s->view = new QTableView(page);
    s->view->setObjectName(side == RecordSide::Sales ? QStringLiteral("gridSales") : QStringLiteral("gridPurchases"));
    s->model = new RecordModel(this);
    s->view->setModel(s->model);
    s->view->setSelectionBehavior(QAbstractItemView::SelectRows);
    s->view->setSelectionMode(QAbstractItemView::SingleSelection);
    s->view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                             QAbstractItemView::AnyKeyPressed);
    s->view->verticalHeader()->setVisible(false);
    s->view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    s->view->verticalHeader()->setDefaultSectionSize(s->view->fontMetrics().height() + 6);
    s->view->horizontalHeader()->setResizeContentsPrecision(200);
    s->view->setSortingEnabled(true);
    s->view->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    s->totals = new QLabel(page);
    s->totals->setObjectName(side == RecordSide::Sales ? QStringLiteral("labSalesTotals")
                                                       : QStringLiteral("labPurchaseTotals"));
    s->totals->setTextInteractionFlags(Qt::TextSelectableByMouse);
    s->totals->setWordWrap(true);
    layout->addWidget(s->view, 1);
    layout->addWidget(s->totals);
    m_tabs->addTab(page, title);
    Side* raw = s.get();
    connect(s->model, &RecordModel::editRequested, this,
            [this, raw](int row, int column, const QString& text) { EditCell(*raw, row, column, text); });
    return s;
  };
  m_sales = makeSide(RecordSide::Sales, tr("Sprzedaż"));
  m_purchases = makeSide(RecordSide::Purchases, tr("Zakup"));

  auto* ratesPage = new QWidget(m_tabs);
  auto* ratesLayout = new QVBoxLayout(ratesPage);
  m_rates = new QTableWidget(ratesPage);
  m_rates->setObjectName(QStringLiteral("tblRateSums"));
  m_rates->setColumnCount(8);
  m_rates->setHorizontalHeaderLabels({tr("Ewidencja"), tr("Grupa"), tr("Pola"), tr("Rekordów"), tr("Netto"),
                                      tr("Podatek"), tr("Pozycje deklaracji"), tr("W deklaracji")});
  m_rates->verticalHeader()->setVisible(false);
  m_rates->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_rates->horizontalHeader()->setStretchLastSection(true);
  m_ratesNote = new QLabel(ratesPage);
  m_ratesNote->setWordWrap(true);
  ratesLayout->addWidget(m_rates, 1);
  ratesLayout->addWidget(m_ratesNote);
  m_tabs->addTab(ratesPage, tr("Sumy według stawek"));

  auto* findingsPage = new QWidget(m_tabs);
  auto* findingsLayout = new QVBoxLayout(findingsPage);
  m_findings = new QTreeWidget(findingsPage);
  m_findings->setObjectName(QStringLiteral("lstFindings"));
  m_findings->setRootIsDecorated(false);
  m_findings->setHeaderLabels({tr("Poziom"), tr("Część"), tr("Lp"), tr("Element"), tr("Komunikat")});
  m_findingsNote = new QLabel(tr("Plik nie był jeszcze sprawdzany: przycisk „Sprawdź plik”."), findingsPage);
  m_findingsNote->setObjectName(QStringLiteral("labFindings"));
  findingsLayout->addWidget(m_findingsNote);
  findingsLayout->addWidget(m_findings, 1);
  m_tabs->addTab(findingsPage, tr("Wyniki sprawdzenia"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(tools);
  layout->addWidget(m_tabs, 1);

  QAction* undo = m_undo->createUndoAction(this, tr("Cofnij"));
  undo->setShortcut(QKeySequence::Undo);
  QAction* redo = m_undo->createRedoAction(this, tr("Ponów"));
  redo->setShortcut(QKeySequence::Redo);
  for (QAction* a : {undo, redo}) {
    a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(a);
  }
  connect(m_undoButton, &QPushButton::clicked, m_undo, &QUndoStack::undo);
  connect(m_redoButton, &QPushButton::clicked, m_undo, &QUndoStack::redo);
  connect(m_undo, &QUndoStack::canUndoChanged, m_undoButton, &QPushButton::setEnabled);
  connect(m_undo, &QUndoStack::canRedoChanged, m_redoButton, &QPushButton::setEnabled);
  m_undoButton->setEnabled(false);
  m_redoButton->setEnabled(false);
  connect(m_add, &QPushButton::clicked, this, &RecordsPanel::AddRecord);
  connect(m_delete, &QPushButton::clicked, this, &RecordsPanel::DeleteRecord);
  connect(m_check, &QPushButton::clicked, this, &RecordsPanel::CheckDocument);
  connect(m_filter, &QLineEdit::textChanged, this, [this](const QString& text) {
    for (Side* s : {m_sales.get(), m_purchases.get()}) s->model->SetFilter(text);
    MarkStale();
    RefreshVisible();
  });
  connect(m_allAmounts, &QCheckBox::toggled, this, [this](bool all) {
    for (Side* s : {m_sales.get(), m_purchases.get()}) {
      if (!s->HasTable()) continue;
      s->Table().SetAllAmounts(all);
      s->model->Reload();
      s->view->resizeColumnsToContents();
    }
    MarkStale();
    RefreshVisible();
  });
  connect(m_tabs, &QTabWidget::currentChanged, this, [this](int tab) {
    const bool grid = SideOfTab(tab) != nullptr;
    m_add->setEnabled(grid && !m_document.IsNull());
    m_delete->setEnabled(grid && !m_document.IsNull());
    RefreshVisible();
  });
  connect(m_findings, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item, int) { FindingActivated(item); });
  Sync({});
}

RecordsPanel::~RecordsPanel() = default;

template <class F>
bool RecordsPanel::Guarded(F&& action) {
  try {
    action();
    return true;
  } catch (const kx::Error& e) {
    m_ctx.ui.Show(kx::ui::BoxKind::Error, e.what());
    return false;
  }
}

QTableView* RecordsPanel::Grid(RecordSide side) const {
  return side == RecordSide::Sales ? m_sales->view : m_purchases->view;
}
RecordModel* RecordsPanel::Model(RecordSide side) const {
  return side == RecordSide::Sales ? m_sales->model : m_purchases->model;
}
QLabel* RecordsPanel::Totals(RecordSide side) const {
  return side == RecordSide::Sales ? m_sales->totals : m_purchases->totals;
}

RecordsPanel::Side* RecordsPanel::SideOfTab(int tab) {
  if (tab == 0) return m_sales.get();
  if (tab == 1) return m_purchases.get();
  return nullptr;
}

RecordsPanel::Side& RecordsPanel::Current() {
  Side* s = SideOfTab(m_tabs->currentIndex());
  return s ? *s : *m_sales;
}

void RecordsPanel::Sync(const kx::jpk::v7m::IXMLJPK& document) {
  const bool same = !document.IsNull() && !m_document.IsNull() && document.Node() == m_document.Node() &&
                    m_sales->HasTable() && m_purchases->HasTable() &&
                    m_sales->Table().RowCount() == RecordCount(document, RecordSide::Sales) &&
                    m_purchases->Table().RowCount() == RecordCount(document, RecordSide::Purchases);
  if (!same) {
    Rebuild(document);
    return;
  }
  for (Side* s : {m_sales.get(), m_purchases.get()}) s->model->CellsChanged();
  MarkStale();
  RefreshVisible();
}

void RecordsPanel::MarkStale() { m_sales->totalsStale = m_purchases->totalsStale = m_ratesStale = true; }

void RecordsPanel::RefreshVisible() {
  if (Side* s = SideOfTab(m_tabs->currentIndex()); s && s->totalsStale) ShowTotals(*s);
  if (m_tabs->currentIndex() == 2 && m_ratesStale) ShowRateSums();
}

void RecordsPanel::Rebuild(const kx::jpk::v7m::IXMLJPK& document) {
  m_document = document;
  m_undo->clear();
  for (Side* s : {m_sales.get(), m_purchases.get()}) {
    if (document.IsNull()) {
      s->model->SetTable(nullptr);
    } else {
      s->model->SetTable(std::make_unique<RecordTable>(document, s->side, m_allAmounts->isChecked()));
      s->view->resizeColumnsToContents();
    }
  }
  MarkStale();
  RefreshVisible();
  m_findings->clear();
  m_findingsNote->setText(tr("Plik nie był jeszcze sprawdzany: przycisk „Sprawdź plik”."));
  const bool has = !document.IsNull();
  for (QWidget* w : std::initializer_list<QWidget*>{m_add, m_delete, m_check, m_filter, m_allAmounts}) {
    w->setEnabled(has);
  }
  if (has && !SideOfTab(m_tabs->currentIndex())) {
    m_add->setEnabled(false);
    m_delete->setEnabled(false);
  }
}

void RecordsPanel::ShowTotals(Side& side) {
  side.totalsStale = false;
  if (!side.HasTable()) {
    side.totals->setText(tr("Brak pliku JPK"));
    return;
  }
  const RecordTable& t = side.Table();
  const std::vector<int>& rows = side.model->ShownRows();
  QString text;
  try {
    const kx::editor::ColumnTotals totals = t.Totals(&rows);
    text = tr("Razem (wierszy: %1 z %2):").arg(totals.rows).arg(t.RowCount());
    for (int c = 0; c < t.ColumnCount(); ++c) {
      if (!t.Column(c).Numeric() || t.Column(c).kind == ColumnKind::Lp) continue;
      text += QStringLiteral("   %1 %2").arg(Q(t.Column(c).title), RecordModel::ShownAmount(totals.cents[c]));
    }
    if (totals.fpRows > 0) {
      text += QStringLiteral("   ") +
              tr("(w tym faktury FP, poza deklaracją: %1, netto %2, VAT %3)")
                  .arg(totals.fpRows)
                  .arg(RecordModel::ShownAmount(totals.fpNetCents), RecordModel::ShownAmount(totals.fpTaxCents));
    }
  } catch (const kx::Error& e) {
    text = Q(e.what());
  }
  side.totals->setText(text);
}

void RecordsPanel::ShowRateSums() {
  m_ratesStale = false;
  m_rates->setRowCount(0);
  if (m_document.IsNull()) {
    m_ratesNote->setText(tr("Brak pliku JPK"));
    return;
  }
  kx::editor::RateSums sums;
  try {
    sums = kx::editor::SumRates(m_document);
  } catch (const kx::Error& e) {
    m_ratesNote->setText(Q(e.what()));
    return;
  }
  auto addRow = [this](const QStringList& cells, bool bold) {
    const int row = m_rates->rowCount();
    m_rates->insertRow(row);
    for (int c = 0; c < cells.size(); ++c) {
      auto* item = new QTableWidgetItem(cells[c]);
      if (c >= 3 && c <= 5) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      if (bold) {
        QFont f = item->font();
        f.setBold(true);
        item->setFont(f);
      }
      m_rates->setItem(row, c, item);
    }
  };
  const std::pair<const kx::editor::SideSums*, QString> sides[] = {{&sums.sales, tr("sprzedaż")},
                                                                   {&sums.purchases, tr("zakup")}};
  for (const auto& [side, name] : sides) {
    for (const kx::editor::RateLine& l : side->lines) {
      addRow({name, Q(l.group->label), Q(l.elements), QString::number(l.records), RecordModel::ShownAmount(l.netCents),
              RecordModel::ShownAmount(l.taxCents), Q(l.positions), Q(l.declared)},
             false);
    }
    addRow({name, tr("razem"), QString(), QString(), RecordModel::ShownAmount(side->netCents),
            RecordModel::ShownAmount(side->taxCents), Q(side->totalPositions), Q(side->declared)},
           true);
  }
  m_rates->resizeColumnsToContents();
  QString note = tr("Kwoty rekordów w groszach; deklaracja podaje pozycje w pełnych złotych.");
  if (sums.skippedFp > 0) {
    note += QStringLiteral(" ") + tr("Faktury FP pominięte, jak w deklaracji: %1.").arg(sums.skippedFp);
  }
  if (m_document.Node().FindChild("Deklaracja").IsNull()) note += QStringLiteral(" ") + tr("Plik nie ma deklaracji.");
  m_ratesNote->setText(note);
}

void RecordsPanel::AfterEdit(Side& side, bool rowsChanged) {
  if (rowsChanged) {
    side.model->Reload();
  } else {
    side.model->CellsChanged();
  }
  MarkStale();
  if (changed) {
    changed();  // the window refreshes, and with it this panel (Sync)
  } else {
    RefreshVisible();
  }
}

void RecordsPanel::EditCell(Side& side, int tableRow, int column, const QString& text) {
  RecordTable& t = side.Table();
  const ColumnKey key = KeyOf(t, column);
  const CellState before = t.GetCellState(tableRow, column);
  if (!Guarded([&] { t.SetCell(tableRow, column, text.toStdString()); })) return;
  const CellState after = t.GetCellState(tableRow, column);
  Side* s = &side;
  auto apply = [this, s, tableRow, key](const CellState& state) {
    Guarded([&] { s->Table().SetCellState(tableRow, ColumnOfKey(s->Table(), key), state); });
    AfterEdit(*s, false);
  };
  m_undo->push(new Step(
      tr("zmiana pola %1").arg(Q(t.Column(column).title)), [apply, after] { apply(after); },
      [apply, before] { apply(before); }));
  AfterEdit(side, false);
}

void RecordsPanel::AddRecord() {
  Side& side = Current();
  if (!side.HasTable()) return;
  const QModelIndex current = side.view->currentIndex();
  const int after = current.isValid() ? side.model->TableRow(current.row()) : -1;
  int row = -1;
  if (!Guarded([&] { row = side.Table().AddRecord(after); })) return;
  kx::xml::XmlNode record = side.Table().Record(row);
  Side* s = &side;
  m_undo->push(new Step(
      tr("dodanie rekordu"),
      [this, s, row, record] {
        Guarded([&] { s->Table().InsertRecord(row, record); });
        AfterEdit(*s, true);
      },
      [this, s, row] {
        Guarded([&] { s->Table().TakeRecord(row); });
        AfterEdit(*s, true);
      }));
  AfterEdit(side, true);
  // The new record shown and selected, unless the filter hides it.
  if (int viewRow = side.model->ViewRow(row); viewRow >= 0) {
    side.view->selectRow(viewRow);
    side.view->scrollTo(side.model->index(viewRow, 0));
  }
}

void RecordsPanel::DeleteRecord() {
  Side& side = Current();
  if (!side.HasTable()) return;
  const QModelIndex current = side.view->currentIndex();
  if (!current.isValid()) {
    m_ctx.ui.Show(kx::ui::BoxKind::Information, "Zaznacz rekord do usunięcia");
    return;
  }
  const int row = side.model->TableRow(current.row());
  const std::string lp = side.Table().CellText(row, 0);
  if (m_ctx.ui.Ask(kx::ui::BoxKind::Confirmation, "Usunąć rekord Lp " + lp + "?",
                   {kx::ui::Button::Yes, kx::ui::Button::No}, kx::ui::Button::No) != kx::ui::Button::Yes) {
    return;
  }
  kx::xml::XmlNode record;
  if (!Guarded([&] { record = side.Table().TakeRecord(row); })) return;
  Side* s = &side;
  m_undo->push(new Step(
      tr("usunięcie rekordu"),
      [this, s, row] {
        Guarded([&] { s->Table().TakeRecord(row); });
        AfterEdit(*s, true);
      },
      [this, s, row, record] {
        Guarded([&] { s->Table().InsertRecord(row, record); });
        AfterEdit(*s, true);
      }));
  AfterEdit(side, true);
}

bool RecordsPanel::SelectRecord(RecordSide side, int64_t lp) {
  Side& s = side == RecordSide::Sales ? *m_sales : *m_purchases;
  if (!s.HasTable()) return false;
  const int row = s.Table().RowOfLp(lp);
  if (row < 0) return false;
  if (s.model->ViewRow(row) < 0) m_filter->clear();
  const int viewRow = s.model->ViewRow(row);
  if (viewRow < 0) return false;
  m_tabs->setCurrentIndex(side == RecordSide::Sales ? 0 : 1);
  s.view->selectRow(viewRow);
  s.view->scrollTo(s.model->index(viewRow, 0), QAbstractItemView::PositionAtCenter);
  s.view->setFocus();
  return true;
}

void RecordsPanel::CheckDocument() {
  if (m_document.IsNull()) return;
  std::filesystem::path schemas = m_ctx.SchemaDir;
  if (schemas.empty()) {
    const auto bundled = kx::FindDataFile(m_ctx, "xsd/catalog.xml");
    if (!bundled) {
      m_ctx.ui.Show(kx::ui::BoxKind::Error, "Nie znaleziono schematów JPK (folder xsd); plik nie został sprawdzony");
      return;
    }
    schemas = bundled->parent_path();
  }
  std::vector<Finding> findings;
  if (!Guarded([&] { findings = kx::editor::CheckJpkDocumentWithDeclaration(m_document.OwnerDocument(), schemas); })) {
    return;
  }
  m_findings->clear();
  int counts[3] = {0, 0, 0};
  for (const Finding& f : findings) {
    ++counts[static_cast<int>(f.severity)];
    auto* item =
        new QTreeWidgetItem(m_findings, {Q(kx::jpk::check::SeverityText(f.severity)), Q(f.section),
                                         f.lp > 0 ? QString::number(f.lp) : QString(), Q(f.element), Q(f.message)});
    item->setData(0, Qt::UserRole,
                  f.section == kx::jpk::check::kSectionSales       ? 1
                  : f.section == kx::jpk::check::kSectionPurchases ? 2
                                                                   : 0);
    item->setData(2, Qt::UserRole, f.lp);
    if (f.severity == kx::jpk::check::Severity::Error) item->setForeground(0, QColor(0xC0, 0x00, 0x00));
  }
  for (int c = 0; c < 4; ++c) m_findings->resizeColumnToContents(c);
  if (counts[0] == 0 && counts[1] == 0) {
    m_findingsNote->setText(
        tr("Plik jest zgodny ze schematem i nie ma błędów ani ostrzeżeń (informacji: %1).").arg(counts[2]));
  } else {
    m_findingsNote->setText(tr("Błędów: %1, ostrzeżeń: %2, informacji: %3. Dwukrotne kliknięcie wskazuje rekord.")
                                .arg(counts[0])
                                .arg(counts[1])
                                .arg(counts[2]));
  }
  m_tabs->setCurrentIndex(3);
}

void RecordsPanel::FindingActivated(QTreeWidgetItem* item) {
  const int side = item->data(0, Qt::UserRole).toInt();
  const int lp = item->data(2, Qt::UserRole).toInt();
  if (side == 0 || lp <= 0) return;
  SelectRecord(side == 1 ? RecordSide::Sales : RecordSide::Purchases, lp);
}
