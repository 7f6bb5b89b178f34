#pragma once
// The contractor of a source document (buyer of a sale, seller of a purchase)
// read from a contractors' table of a source program, positioned by the
// caller on the contractor's row.

#include <string>

#include "app/app_context.h"
#include "platform/tables/table.h"
#include "platform/ui/user_port.h"

namespace kx {

// True when the contractors are held in the one table "Users" (Users.db in
// UserDir) instead of per-period tables. Set by the drivers that open the
// tables, read by ReadContractor.
extern bool UsersTableExists;

struct Contractor {
  std::string nipCountry;  // prefix found on the tax number: an EU code or "GB"/"CH"
  std::string nip;         // normalised when checked ("BRAK" when empty)
  std::string name;
  std::string countryCode;  // from the country name in "City", or for Options 3 from the NIP prefix
  std::string address;      // one line; "brak" when empty and checked
};

// Reads the current row of the contractors' table. "document" describes the
// source document in messages. With check on, the NIP is normalised and
// checked and doubtful data are put to the user; a refusal fails with
// "Wczytywanie przerwano".
Contractor ReadContractor(AppContext& ctx, const std::string& document, tables::Table& users, bool check);

// The callback given to CheckNip: asks whether to go on with the number.
void ConfirmNipProblem(ui::UserPort& port, const std::string& message, const std::string& nip, const std::string& name,
                       const std::string& document);

}  // namespace kx
