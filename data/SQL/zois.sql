-- Accounts with turnovers and balances up to the end of period :PeriodId.
-- Turnovers of an account are the sums of the entries posted to it and to its
-- sub-accounts; "Initial" columns are the turnovers of the year before the period.
WITH T AS (
  SELECT "Primary Account" AS P, "Secondary Account" AS S1, "Secondary2 Account" AS S2,
         sum(CASE WHEN "Period Id" < :PeriodId THEN coalesce(Debit, 0) ELSE 0 END) AS BD,
         sum(CASE WHEN "Period Id" < :PeriodId THEN coalesce(Credit, 0) ELSE 0 END) AS BC,
         sum(CASE WHEN "Period Id" <= :PeriodId THEN coalesce(Debit, 0) ELSE 0 END) AS TD,
         sum(CASE WHEN "Period Id" <= :PeriodId THEN coalesce(Credit, 0) ELSE 0 END) AS TC
  FROM details GROUP BY 1, 2, 3),
L AS (
  SELECT P, NULL AS S1, NULL AS S2, sum(BD) AS BD, sum(BC) AS BC, sum(TD) AS TD, sum(TC) AS TC FROM T GROUP BY P
  UNION ALL
  SELECT P, S1, NULL, sum(BD), sum(BC), sum(TD), sum(TC) FROM T WHERE S1 <> 0 GROUP BY P, S1
  UNION ALL
  SELECT P, S1, S2, sum(BD), sum(BC), sum(TD), sum(TC) FROM T WHERE S1 <> 0 AND S2 <> 0 GROUP BY P, S1, S2),
R AS (
  SELECT A."Primary", A."Secondary1", A."Secondary2", A."Secondary3", A."Account Name", A."Options",
         A."InitYDebit", A."InitYCredit",
         coalesce(L.BD, 0) AS BD, coalesce(L.BC, 0) AS BC, coalesce(L.TD, 0) AS TD, coalesce(L.TC, 0) AS TC,
         coalesce(A."InitYDebit", 0) - coalesce(A."InitYCredit", 0) + coalesce(L.TD, 0) - coalesce(L.TC, 0) AS Balance
  FROM accounts A
  LEFT JOIN L ON L.P = A."Primary" AND L.S1 IS A."Secondary1" AND L.S2 IS A."Secondary2")
SELECT "Primary", "Secondary1", "Secondary2", "Secondary3", "Account Name", "Options",
       "InitYDebit", "InitYCredit",
       round(BD, 2) AS "Initial Debit", round(BC, 2) AS "Initial Credit",
       round(TD, 2) AS Debit, round(TC, 2) AS Credit,
       round(CASE WHEN Balance > 0 THEN Balance ELSE 0 END, 2) AS SaldoDebit,
       round(CASE WHEN Balance < 0 THEN -Balance ELSE 0 END, 2) AS SaldoCredit
FROM R
