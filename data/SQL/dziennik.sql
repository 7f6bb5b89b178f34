SELECT D."Seq No", D."Book Type", D."Book No", D."Book Id", D."Date", D."Book Date", D."Operator Id", D."Comments",
       round(coalesce(S.Amount, 0), 2) AS KwotaOperacji
FROM journal D LEFT JOIN (SELECT "Period Id" AS Period, "Seq No" AS Seq, sum(Debit) AS Amount FROM details GROUP BY 1, 2) S ON S.Period = D."Period Id" AND S.Seq = D."Seq No"
WHERE (D."Period Id" = :PeriodId) 
ORDER BY D."Period Id", CAST(D."Seq No" AS INTEGER), D."Seq No"
-- Journal entries of the period (line 4 restricts the period; December replaces it
-- by WHERE (D."Period Id" >= <December>) to take the closing period as well). The amount of an
-- entry is the sum of its debit sides in the "details" table.
