#include "app/ui/month_edit.h"

#include <QLocale>
#include <QStringList>

MonthEdit::MonthEdit(QWidget* parent) : QDateEdit(parent) { setLocale(QLocale(QLocale::Polish, QLocale::Poland)); }

QString MonthEdit::textFromDateTime(const QDateTime& dateTime) const {
  const QDate d = dateTime.date();
  return locale().standaloneMonthName(d.month(), QLocale::LongFormat) + QLatin1Char(' ') + QString::number(d.year());
}

QDate MonthEdit::Parse(const QString& text) const {
  const QStringList parts = text.simplified().split(QLatin1Char(' '));
  if (parts.size() != 2) return {};
  bool ok = false;
  const int year = parts[1].toInt(&ok);
  if (!ok || year < 1900 || year > 9999) return {};
  for (int m = 1; m <= 12; ++m) {
    for (const QString& name : {locale().standaloneMonthName(m), locale().monthName(m)}) {
      if (name.compare(parts[0], Qt::CaseInsensitive) == 0) return QDate(year, m, 1);
    }
  }
  return {};
}

QDateTime MonthEdit::dateTimeFromText(const QString& text) const {
  const QDate d = Parse(text);
  return QDateTime(d.isValid() ? d : date(), QTime(0, 0));
}

QValidator::State MonthEdit::validate(QString& input, int& /*pos*/) const {
  return Parse(input).isValid() ? QValidator::Acceptable : QValidator::Intermediate;
}

void MonthEdit::fixup(QString& input) const {
  if (!Parse(input).isValid()) input = textFromDateTime(QDateTime(date(), QTime(0, 0)));
}

void MonthEdit::stepBy(int steps) {
  const QDate d = date().addMonths(steps);
  setDate(QDate(d.year(), d.month(), 1));
}
