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
-- The sums of each account level stand in their own table, so that joining
-- them to the accounts goes through an index, not a scan per account.
L0 AS MATERIALIZED (
  SELECT P, sum(BD) AS BD, sum(BC) AS BC, sum(TD) AS TD, sum(TC) AS TC FROM T GROUP BY P),
L1 AS MATERIALIZED (
  SELECT P, S1, sum(BD) AS BD, sum(BC) AS BC, sum(TD) AS TD, sum(TC) AS TC FROM T WHERE S1 <> 0 GROUP BY P, S1),
L2 AS MATERIALIZED (
  SELECT P, S1, S2, sum(BD) AS BD, sum(BC) AS BC, sum(TD) AS TD, sum(TC) AS TC
  FROM T WHERE S1 <> 0 AND S2 <> 0 GROUP BY P, S1, S2),
L AS (
  SELECT A."Primary", A."Secondary1", A."Secondary2", A."Secondary3", A."Account Name", A."Options",
         A."InitYDebit", A."InitYCredit",
         coalesce(L0.BD, L1.BD, L2.BD) AS BD, coalesce(L0.BC, L1.BC, L2.BC) AS BC,
         coalesce(L0.TD, L1.TD, L2.TD) AS TD, coalesce(L0.TC, L1.TC, L2.TC) AS TC
  FROM accounts A
  LEFT JOIN L0 ON L0.P = A."Primary" AND A."Secondary1" IS NULL AND A."Secondary2" IS NULL
  LEFT JOIN L1 ON L1.P = A."Primary" AND L1.S1 = A."Secondary1" AND A."Secondary2" IS NULL
  LEFT JOIN L2 ON L2.P = A."Primary" AND L2.S1 = A."Secondary1" AND L2.S2 = A."Secondary2"),
R AS (
  SELECT "Primary", "Secondary1", "Secondary2", "Secondary3", "Account Name", "Options",
         "InitYDebit", "InitYCredit",
         coalesce(BD, 0) AS BD, coalesce(BC, 0) AS BC, coalesce(TD, 0) AS TD, coalesce(TC, 0) AS TC,
         coalesce("InitYDebit", 0) - coalesce("InitYCredit", 0) + coalesce(TD, 0) - coalesce(TC, 0) AS Balance
  FROM L)
SELECT "Primary", "Secondary1", "Secondary2", "Secondary3", "Account Name", "Options",
       "InitYDebit", "InitYCredit",
       round(BD, 2) AS "Initial Debit", round(BC, 2) AS "Initial Credit",
       round(TD, 2) AS Debit, round(TC, 2) AS Credit,
       round(CASE WHEN Balance > 0 THEN Balance ELSE 0 END, 2) AS SaldoDebit,
       round(CASE WHEN Balance < 0 THEN -Balance ELSE 0 END, 2) AS SaldoCredit
FROM R
