// The server end of the window-message transport: serves the windows of this
// process to trace clients of other processes over a Unix-domain socket named
// from a top-level window's title, on the Qt event loop of the UI thread.
//
// Guarantees:
// - Every request is answered after the windows handled it, in order.
// - A group of several frames (one hand-over: set buffer, command, reset
//   buffer) runs whole, with no other client's frames in between. A request
//   sent alone may run a nested event loop (a dialog, a message box); other
//   clients are served meanwhile, as they are while the user has the same
//   dialog open.
// - Only processes of this user are served, and only with what a trace line
//   needs: the lookups, identify, WM_SETTEXT to a window that is not
//   top-level (the buffer) and WM_COMMAND Entry from Buffer to a top-level
//   one. Any other command, a close, a read of a window's text and a retitle
//   of a top-level window (the title is how clients find it) are refused,
//   alone or inside a group, and the client stays connected. The program's
//   own callers of CWindowManager keep every message.
// - An idle connection holds no buffer. A connection's input is read only
//   when nothing it sent before waits to be handled, at most one read chunk
//   or one group ahead; the rest stays in the kernel. Half a group that does
//   not complete, and replies left unread, are dropped after the stall
//   timeout. Malformed or oversized traffic ends in dropping that client.
//   None of it blocks the UI thread.
// - What was refused or dropped is said through Notice, once per kind.
// - Each connection is a peer (peer.h) with an id of its own: its process
//   and program as the socket shows them, and who the client says it is.
//   While a window handles a client's message, the window table's
//   CurrentPeer() names that client; PeerGone says when a connection is over.
#pragma once

#include "platform/window/listener.h"
#include "platform/window/peer.h"

#include <QObject>
#include <QString>

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include <zeftrace/windowhost.h>

class QSocketNotifier;
class QTimer;

namespace zef {

class CWindowManager;
struct SConnection;
namespace wire {
struct SFrameHeader;
struct SGroupScan;
struct SReplyHeader;
}  // namespace wire

class CWindowServer final : public QObject {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kDefaultStallTimeout{10000};
  // Connections served at once; the open-file limit is raised to allow them.
  static constexpr size_t kMaxClients = 4096;

  // `windows` must outlive the server.
  explicit CWindowServer(CWindowManager& windows, QObject* parent = nullptr);
  ~CWindowServer() override;

  // Serves at <per-user socket directory>/<title>.sock (CListener). A
  // socket left by a dead server is replaced; one that a live server answers
  // on is left alone and Listen says kServedElsewhere. On failure the reason
  // for the user is in *errorText. When the usual directory cannot be used
  // and the home fallback is, Notice says so.
  EListenError Listen(const QString& title, QString* errorText);
  // Stops serving, drops every client and removes the socket file. The
  // connections it ends get no PeerGone: the server is going away.
  void Close();

  bool IsListening() const { return m_listener.IsListening(); }
  QString SocketPath() const;
  int ClientCount() const;
  // Bytes held for all clients (input not handled yet, replies not sent).
  size_t BufferedBytes() const;
  // Connections dropped for breaking the protocol or its limits, or stalling.
  int DropCount() const { return m_nDrops; }
  // How long half a group may wait for its rest, and replies for their
  // reader, before the connection is dropped. Tests shorten it.
  void SetStallTimeout(std::chrono::milliseconds timeout);

 Q_SIGNALS:
  // One sentence: a refused client or request, a dropped connection (once
  // per kind), or where the server serves when it left the usual place.
  void Notice(const QString& text);
  // Once per connection that ended (the client closed it or died, or it was
  // dropped for a protocol fault or a stall), after the last of its requests
  // that will ever run has run, and from a point where none runs: a handler
  // may append lines. Never from Close() or the destructor.
  void PeerGone(quint32 id);

 private:
  // What a notice is about: each kind is said once.
  enum class EKind {
    kOtherUser,
    kTooManyClients,
    kNoDescriptor,
    kNotAFrame,
    kUnknownRequest,
    kTextLength,
    kGroupTooLong,
    kHalfGroup,
    kUnreadReplies,
    kRetitle,
    kCommand,
    kClose,
    kReadText,
    kIdentifyAgain,
    kIdentifyInGroup,
    kDirectory,
    kQuiet,  // a client that went away: nothing to say
  };
  enum class EServe { kIdle, kProgress, kGone };

  // Connections and passes (windowserver.cpp).
  void OnEpoll();
  void AcceptClients();
  void AddClient(const CListener::SAccepted& taken);
  void ProcessClients();
  EServe Serve(SConnection* client);
  // Runs the groups left from an earlier read: kProgress when any ran or
  // the client was dropped.
  EServe RunHeld(SConnection* client);
  // Reads into the scratch buffer and runs the groups in it, or reads on
  // into a group that is still arriving. False when the server itself was
  // destroyed by a handler.
  bool ReadFresh(SConnection* client, size_t* got);
  bool ReadRest(SConnection* client, size_t* got);
  // Input held beyond one read chunk, for all clients together.
  size_t LargeInputHeld() const;
  void Flush(SConnection* client);
  void Drop(SConnection* client, EKind kind, const QString& text);
  void Report(EKind kind, const QString& text);
  void CheckStalls();
  void ArmStallTimer();
  void Activate(SConnection* client);
  static bool NeedsService(const SConnection& client);
  // Frees the clients that are gone; at depth 0 only, where none of theirs
  // runs. `announce`: emits PeerGone for them.
  void Reap(bool announce);
  char* Scratch();

  // Groups of frames through the window table (requests.cpp).
  // Runs the complete groups at the start of data; returns the bytes used,
  // or npos when the server itself was destroyed by a handler.
  size_t RunGroups(SConnection* client, const char* data, size_t size);
  void DropMalformed(SConnection* client, const wire::SGroupScan& scan);
  bool RunGroup(SConnection* client, const char* data, size_t end, std::uint32_t frames);
  // One frame's work and its reply.
  wire::SReplyHeader RunFrame(SConnection* client, const wire::SFrameHeader& h, std::u16string_view text, bool inGroup);
  // Whether a client's message may reach the windows; if not, the reply's
  // status, and the refusal is reported.
  bool Admit(const SConnection& client, const wire::SFrameHeader& h, std::uint32_t* status);
  // Takes the first kMsgIdentify of a connection; the reply's result and status.
  std::int64_t Identify(SConnection* client, std::u16string_view text, bool inGroup, std::uint32_t* status);

  CWindowManager& m_windows;
  CListener m_listener;
  int m_nEpollFd = -1;
  QSocketNotifier* m_pNotifier = nullptr;
  QTimer* m_pContinue = nullptr;    // resumes work left when a pass gave the event loop its turn
  QTimer* m_pStallTimer = nullptr;  // runs while a connection has a deadline
  std::chrono::milliseconds m_stallTimeout = kDefaultStallTimeout;
  std::vector<std::unique_ptr<SConnection>> m_clients;
  // Clients that may have work: readable, running a group, or holding
  // complete groups. Only these are visited by a pass.
  std::vector<SConnection*> m_active;
  // One read buffer per nesting level of ProcessClients: a handler's nested
  // loop may read other clients while an outer level still runs groups from
  // its own buffer.
  std::vector<std::unique_ptr<char[]>> m_scratch;
  std::uint32_t m_nLastPeerId = 0;
  int m_nDepth = 0;      // ProcessClients levels running
  int m_nExclusive = 0;  // groups of several frames running: nothing may come between their frames
  int m_nNested = 0;     // single requests running (each may be a nested loop)
  int m_nDrops = 0;
  std::set<int> m_reported;
};

}  // namespace zef
