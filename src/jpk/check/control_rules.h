#pragma once
// The control elements of JPK_FA(4), JPK_MAG(1) and JPK_KR(1) files (counts
// and sums such as FakturaCtrl, PZCtrl, DziennikCtrl) against the items
// they count.

#include <string>
#include <vector>

#include "jpk/check/finding.h"
#include "platform/xml/xml_node.h"

namespace kx::jpk::check {

// The checks of the kind ("JPK_FA(4)", "JPK_MAG(1)", "JPK_KR(1)"; nothing
// for another) over the document's root element.
void CheckControlTotals(const std::string& kind, const xml::XmlNode& root, std::vector<Finding>& findings);

}  // namespace kx::jpk::check
