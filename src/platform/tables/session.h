#pragma once
// The table engine session: one per program, named "Session". It carries the
// network control folder from the configuration; opening a table or a query of
// an inactive session activates it. Deactivating the session (or destroying
// it) closes every table and query still open in it, so a run that stops on
// an error leaves no file open.

#include <string>
#include <vector>

namespace kx::tables {

// A table or query while it is open in a session.
class SessionMember {
 public:
  virtual void Close() = 0;

 protected:
  ~SessionMember() = default;
};

class Session {
 public:
  explicit Session(std::string name = "Session") : m_name(std::move(name)) {}
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const std::string& Name() const { return m_name; }
  const std::string& NetFileDir() const { return m_netFileDir; }
  void SetNetFileDir(std::string dir) { m_netFileDir = std::move(dir); }

  bool Active() const { return m_active; }
  void Activate() { m_active = true; }
  void Deactivate();

  // Called by tables and queries as they open and close.
  void Opened(SessionMember* member);
  void Closed(SessionMember* member);
  size_t OpenCount() const { return m_open.size(); }

 private:
  void CloseAll();

  std::string m_name;
  std::string m_netFileDir;
  bool m_active = false;
  std::vector<SessionMember*> m_open;
};

}  // namespace kx::tables
