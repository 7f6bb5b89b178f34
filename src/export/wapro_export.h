#pragma once
// The Wapro (Magik) output of the warehouse export: an information block, one
// DOKUMENT per sales document of the month with its header, dates, totals and
// VAT lines, and the card file of the contractors involved.

#include <cstdint>

#include "export/towix_export.h"
#include "jpk/files/jpkTools.h"
#include "platform/tables/value.h"

namespace kx::exports {

// Wapro's day number: days counted from 28 December 1800 (1 January 2024 is
// 81453).
int64_t WaproDay(tables::Date date);

// MakeWapro with the moment of the export given: DATA_EKSPORTU and
// GODZINA_EKSPORTU are taken from `now`.
WaproExport MakeWapro(AppContext& ctx, WarehouseTables& t, const jpk::CreationTime& now);
// MakeWaproText with the moment given: the bytes of MakeWapro's document
// saved, written as the walk goes.
WaproExport MakeWaproText(AppContext& ctx, WarehouseTables& t, const jpk::CreationTime& now);

}  // namespace kx::exports
