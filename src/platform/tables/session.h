#pragma once
// The table engine session: one per program, named "Session". It carries the
// network control folder from the configuration; opening a table or a query of
// an inactive session activates it.

#include <string>

namespace kx::tables {

class Session {
 public:
  explicit Session(std::string name = "Session") : m_name(std::move(name)) {}

  const std::string& Name() const { return m_name; }
  const std::string& NetFileDir() const { return m_netFileDir; }
  void SetNetFileDir(std::string dir) { m_netFileDir = std::move(dir); }

  bool Active() const { return m_active; }
  void Activate() { m_active = true; }
  void Deactivate() { m_active = false; }

 private:
  std::string m_name;
  std::string m_netFileDir;
  bool m_active = false;
};

}  // namespace kx::tables
