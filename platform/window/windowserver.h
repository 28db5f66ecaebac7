// The server end of the window-message transport: serves the windows of an
// IWindowHost to trace clients of other processes over a Unix-domain socket
// named from a top-level window's title, on the Qt event loop of the UI
// thread.
//
// Guarantees: every request is answered after the host handled it (clients
// are synchronous); a group of frames (one hand-over) runs whole, with no
// other client's frames in between, so concurrent clients never share the
// single buffer slot; only processes of this user are served; malformed,
// oversized, half-sent or unread traffic costs the server a bounded buffer
// and ends in dropping that client, never in blocking the UI thread.
#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include <zeftrace/windowhost.h>

class QSocketNotifier;

namespace zef {

class CWindowServer final : public QObject {
  Q_OBJECT

 public:
  // `host` must outlive the server.
  explicit CWindowServer(IWindowHost& host, QObject* parent = nullptr);
  ~CWindowServer() override;

  // Serves at <per-user socket directory>/<title>.sock. A socket left by a
  // dead server is replaced; one that a live server answers on is left alone
  // and Listen fails, with the reason in *errorText.
  bool Listen(const QString& title, QString* errorText);
  // Stops serving, drops every client and removes the socket file.
  void Close();

  bool IsListening() const { return m_nListenFd >= 0; }
  QString SocketPath() const;
  int ClientCount() const;

 Q_SIGNALS:
  // A process of another user connected and was turned away.
  void ClientRefused(quint32 uid);
  // A client was disconnected for breaking the protocol or its limits.
  void ClientDropped(const QString& reason);

 private:
  struct SClient;
  enum class EScan { kIncomplete, kComplete, kInvalid };

  void AcceptClients();
  void ReadClient(SClient* client);
  void WriteClient(SClient* client);
  void ProcessClients();
  bool RunGroup(SClient* client, size_t groupEnd);
  EScan ScanGroup(const SClient& client, size_t* groupEnd, QString* reason) const;
  void Drop(SClient* client, const QString& reason);
  void Reap();

  IWindowHost& m_host;
  int m_nListenFd = -1;
  QSocketNotifier* m_pListenNotifier = nullptr;
  std::string m_strPath;
  unsigned long m_nSocketInode = 0;
  std::vector<std::unique_ptr<SClient>> m_clients;
  // Set while groups run; input arriving in nested event loops of a handler
  // is only buffered, and the running loop picks it up afterwards.
  bool m_bProcessing = false;
};

}  // namespace zef
