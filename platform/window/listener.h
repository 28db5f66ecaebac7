// The listening end of the window server: the socket file named after a
// window title in the per-user socket directory, and taking the connections
// that wait on it. Knows nothing of what the connections say.
#pragma once

#include <QString>

#include <sys/socket.h>

#include <string>

namespace zef {

// Why Listen does not serve: another live server answers on the socket (a
// monitor already runs), or anything else that went wrong.
enum class EListenError { kNone, kServedElsewhere, kFailed };

// The system's text for errno `error`, in the user's locale: the reason a
// socket step failed, as the server's messages give it.
QString ErrnoText(int error);

class CListener {
 public:
  // A connection taken by Accept.
  struct SAccepted {
    int nFd = -1;              // the new connection (non-blocking), or -1
    ucred cred{};              // the credentials of its process
    bool bCred = false;        // `cred` could be read
    int nNoFd = 0;             // an errno when no descriptor was left for a client
    bool bTurnedAway = false;  // that client was taken and closed at once
  };

  CListener() = default;
  ~CListener() { Close(); }
  CListener(const CListener&) = delete;
  CListener& operator=(const CListener&) = delete;

  // Listens at <per-user socket directory>/<title>.sock. A socket left by a
  // dead server is replaced; one that a live server answers on is left
  // alone (kServedElsewhere). On failure `errorText` says why in a sentence
  // for the user; on success `notice` is set when the usual directory could
  // not be used and the home fallback was.
  EListenError Listen(const QString& title, QString* errorText, QString* notice = nullptr);
  // Stops listening and removes the socket file while it is still ours (a
  // successor may have replaced it already).
  void Close();

  int Fd() const { return m_nFd; }
  bool IsListening() const { return m_nFd >= 0; }
  const std::string& Path() const { return m_strPath; }

  // Takes one waiting connection: nFd -1 and nNoFd 0 when none waits (or an
  // error the next activation retries). When no descriptor is left (nNoFd),
  // the client is taken with a spare one and closed at once (bTurnedAway,
  // `cred` names it), rather than left queued with the listener ready
  // forever.
  SAccepted Accept();

 private:
  int m_nFd = -1;
  int m_nSpareFd = -1;  // given up to accept (and turn away) a client when no descriptor is left
  std::string m_strPath;
  unsigned long m_nInode = 0;
};

}  // namespace zef
