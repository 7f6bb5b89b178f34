#pragma once
// The month picker of the generating dialogs.

#include <QDateEdit>

// "MMMM yyyy" with the month's own name ("listopad 2026", not the form of a
// date with a day); the arrows step whole months.
class MonthEdit : public QDateEdit {
 public:
  explicit MonthEdit(QWidget* parent = nullptr);
  void stepBy(int steps) override;

 protected:
  QString textFromDateTime(const QDateTime& dateTime) const override;
  QDateTime dateTimeFromText(const QString& text) const override;
  QValidator::State validate(QString& input, int& pos) const override;
  void fixup(QString& input) const override;
  StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }

 private:
  QDate Parse(const QString& text) const;  // invalid when the text names no month
};
