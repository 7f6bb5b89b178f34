#include "platform/tables/session.h"

#include <algorithm>

namespace kx::tables {

Session::~Session() { CloseAll(); }

void Session::Deactivate() {
  CloseAll();
  m_active = false;
}

void Session::CloseAll() {
  // Each Close removes its member; close the latest opened first.
  while (!m_open.empty()) {
    SessionMember* member = m_open.back();
    member->Close();
    if (!m_open.empty() && m_open.back() == member) m_open.pop_back();
  }
}

void Session::Opened(SessionMember* member) {
  if (std::find(m_open.begin(), m_open.end(), member) == m_open.end()) m_open.push_back(member);
}

void Session::Closed(SessionMember* member) { std::erase(m_open, member); }

}  // namespace kx::tables
