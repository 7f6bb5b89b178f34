#pragma once
// The question about a record without a KSeF reference, shared by every way
// JPK_V7M records are made (generation from registers, conversion of JPK_FA).

#include <string>

#include "app/app_context.h"

namespace kx::jpk::v7m {

// Asks "Puste pole KSeF. Oznaczyć jako BFK?" under messagePrefix (the
// document): Tak gives "BFK", Nie the empty text, "Tak wszyst." "BFK" now and
// sets alwaysMarkBfk so that later records are not asked; Cancel (or a
// closed box) fails with "Przerwano tworzenie JPK_V7M". With alwaysMarkBfk
// set nothing is asked.
std::string AskEmptyKsef(AppContext& ctx, bool& alwaysMarkBfk, const std::string& messagePrefix);

}  // namespace kx::jpk::v7m
