#include "jpk/v7m/record_builder.h"

#include <utility>

namespace kx::jpk::v7m {

RecordBuilder::RecordBuilder(xml::XmlNode parent)
    : m_parent(std::move(parent)), m_worker([this](const RecordDraft& draft) { BuildRecord(m_parent, draft); }) {}

}  // namespace kx::jpk::v7m
