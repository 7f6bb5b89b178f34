#pragma once
// JPK_V7M records: the child-value readers, the row sums, record numbering
// with the control elements (RecalcJPK) and the linking of two files
// (LinkJPK). Every walk over the records goes from sibling to sibling, so the
// work grows linearly with the number of records.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "jpk/model/Schemat_JPK_V7M3_v10E.h"
#include "platform/xml/xml_node.h"

namespace kx::jpk::v7m {

// The text of a direct child element; "" when the child does not exist.
std::string ChildText(const xml::XmlNode& element, std::string_view name);
// The child's decimal rounded to 2 places (halves away from zero); 0 when
// the child does not exist. A text that is not a number fails.
double ChildAmount(const xml::XmlNode& element, std::string_view name);
// The child's whole number; 0 when the child does not exist. A text that is
// not a whole number fails.
int64_t ChildInt(const xml::XmlNode& element, std::string_view name);

inline std::string ChildText(const jpk::TypedNode& e, std::string_view name) { return ChildText(e.Node(), name); }
inline double ChildAmount(const jpk::TypedNode& e, std::string_view name) { return ChildAmount(e.Node(), name); }
inline int64_t ChildInt(const jpk::TypedNode& e, std::string_view name) { return ChildInt(e.Node(), name); }

// Amount text in grosze, rounded to 2 places with halves away from zero;
// an empty text is 0; a text that is not a number fails.
int64_t AmountCents(std::string_view text);
// a + b in grosze; a sum beyond what the file can hold fails with
// "Suma kwot przekracza dopuszczalny zakres" instead of wrapping round.
int64_t AddCents(int64_t a, int64_t b);

// Whole złoty from grosze: halves away from zero, or halves to the even neighbour.
int64_t RoundCentsAway(int64_t cents);
int64_t RoundCentsEven(int64_t cents);

// Totals of one record, rounded to 2 places. A sale record of type "FP" gives 0.
double SaleNetSum(const xml::XmlNode& record);
double SaleTaxSum(const xml::XmlNode& record);
double PurchaseNetSum(const xml::XmlNode& record);
double PurchaseTaxSum(const xml::XmlNode& record);
inline double SaleNetSum(const jpk::TypedNode& r) { return SaleNetSum(r.Node()); }
inline double SaleTaxSum(const jpk::TypedNode& r) { return SaleTaxSum(r.Node()); }
inline double PurchaseNetSum(const jpk::TypedNode& r) { return PurchaseNetSum(r.Node()); }
inline double PurchaseTaxSum(const jpk::TypedNode& r) { return PurchaseTaxSum(r.Node()); }

// The record runs of Ewidencja: from the first SprzedazWiersz (ZakupWiersz)
// on, while the next element has an LpSprzedazy (LpZakupu) child. Comments
// between records are stepped over. Null at the end.
xml::XmlNode FirstSaleRecord(const xml::XmlNode& ewidencja);
xml::XmlNode NextSaleRecord(const xml::XmlNode& record);
xml::XmlNode FirstPurchaseRecord(const xml::XmlNode& ewidencja);
xml::XmlNode NextPurchaseRecord(const xml::XmlNode& record);

// The child of that name, created at its place in the order when missing
// (after the children that come before it, before those that come after).
xml::XmlNode EnsureChildInOrder(xml::XmlNode parent, std::string_view name, std::span<const std::string_view> order);
// Writes the child's text only when it is missing or differs, so a document
// already right stays unmodified. Returns the child.
xml::XmlNode SetChildInOrder(xml::XmlNode parent, std::string_view name, std::string_view text,
                             std::span<const std::string_view> order);

// Renumbers the records, normalises "brak" contractors and the purchase
// document numbers, and writes the control elements; only what is missing or
// different is written. A positive K_46 fails before anything is changed.
// Nothing happens for a null document or one without Ewidencja.
void RecalcJPK(IXMLJPK jpk);

// Adds copies of the records of other (element names and texts) after the
// sale and the purchase records of active, then runs RecalcJPK on active.
// The records of other are freed as they are copied: it keeps none of them,
// and handles to them must not be used afterwards.
void LinkJPK(IXMLJPK active, IXMLJPK other);

}  // namespace kx::jpk::v7m
