// The window server's requests: groups of frames run through the window
// table, what a client may ask, and its identification.
#include "platform/window/connection.h"
#include "platform/window/window.h"
#include "platform/window/windowserver.h"

#include <zeftrace/wire.h>

#include <QPointer>

#include <cstring>

namespace zef {
namespace {

// Replies held for one client before its further groups wait for it to read.
constexpr size_t kOutputHigh = 64 * 1024;
// Requests running at once, each possibly in a nested event loop; a further
// one waits until one returns, so clients cannot stack dialogs without end.
constexpr int kMaxNestedRequests = 8;

}  // namespace

size_t CWindowServer::RunGroups(SConnection* client, const char* data, size_t size) {
  size_t pos = 0;
  while (!client->Gone() && pos < size) {
    if (client->strOut.size() - client->nOutSent >= kOutputHigh) {
      Flush(client);
      if (client->Gone() || client->OutPending()) break;
    }
    const wire::SGroupScan scan = wire::ScanGroup(data + pos, size - pos);
    if (scan.eScan == wire::EScan::kIncomplete) break;
    if (scan.eScan == wire::EScan::kInvalid) {
      DropMalformed(client, scan);
      break;
    }
    // A request alone may run a nested loop; past the limit it waits until
    // one of those returns.
    if (scan.nFrames == 1 && m_nNested >= kMaxNestedRequests) break;
    if (!RunGroup(client, data + pos, scan.nEnd, scan.nFrames)) return std::string::npos;
    pos += scan.nEnd;
  }
  if (!client->Gone()) Flush(client);
  return pos;
}

void CWindowServer::DropMalformed(SConnection* client, const wire::SGroupScan& scan) {
  const QString who = QStringLiteral("Dropped a client (pid %1): ").arg(client->peer.nPid);
  switch (scan.eFault) {
    case wire::EFault::kNotAFrame:
      Drop(client, EKind::kNotAFrame, who + QStringLiteral("not a frame of this protocol version"));
      break;
    case wire::EFault::kUnknownRequest:
      Drop(client, EKind::kUnknownRequest, who + QStringLiteral("unknown request"));
      break;
    case wire::EFault::kTextLength:
      Drop(client, EKind::kTextLength,
           who + QStringLiteral("text length %1 out of range (at most %2 bytes)")
                     .arg(scan.nTextBytes)
                     .arg(wire::kMaxTextBytes));
      break;
    case wire::EFault::kGroupTooLong:
    case wire::EFault::kNone:
      Drop(client, EKind::kGroupTooLong,
           who + QStringLiteral("a group of more than %1 frames").arg(wire::kMaxGroupFrames));
      break;
  }
}

bool CWindowServer::RunGroup(SConnection* client, const char* data, size_t end, std::uint32_t frames) {
  QPointer<CWindowServer> guard(this);
  const bool exclusive = frames > 1;
  int& running = exclusive ? m_nExclusive : m_nNested;
  ++running;
  // Its input (maybe in strIn) stays put while a handler runs.
  client->bRunning = true;
  std::u16string text;
  for (size_t pos = 0; pos < end;) {
    wire::SFrameHeader h;
    std::memcpy(&h, data + pos, sizeof h);
    pos += sizeof h;
    text.resize(h.nTextBytes / sizeof(char16_t));
    std::memcpy(text.data(), data + pos, h.nTextBytes);
    pos += h.nTextBytes;
    const wire::SReplyHeader reply = RunFrame(client, h, text, exclusive);
    if (!guard) return false;  // a handler closed the program
    if (!client->Gone() && client->eOutput != SConnection::EOutput::kNoReader)
      client->strOut.append(reinterpret_cast<const char*>(&reply), sizeof reply);
  }
  --running;
  client->bRunning = false;
  return true;
}

wire::SReplyHeader CWindowServer::RunFrame(SConnection* client, const wire::SFrameHeader& h, std::u16string_view text,
                                           bool inGroup) {
  wire::SReplyHeader reply{};
  switch (static_cast<wire::EOp>(h.nOp)) {
    case wire::EOp::kFindWindow:
      reply.nResult = m_windows.FindWindow(text);
      break;
    case wire::EOp::kGetFirstChild:
      reply.nResult = m_windows.GetFirstChild(h.nWindow);
      break;
    case wire::EOp::kSendMessage:
      if (h.nMessage == wire::kMsgIdentify && h.nWindow == 0) {
        reply.nResult = Identify(client, text, inGroup, &reply.nStatus);
      } else if (Admit(*client, h, &reply.nStatus)) {
        reply.nResult =
            m_windows.SendMessageFrom(&client->peer, h.nWindow, h.nMessage, WPARAM(h.nWParam), text, nullptr);
      }
      break;
  }
  return reply;
}

bool CWindowServer::Admit(const SConnection& client, const wire::SFrameHeader& h, std::uint32_t* status) {
  const QString who = QStringLiteral("Refused a request of pid %1 ").arg(client.peer.nPid);
  switch (h.nMessage) {
    case WM_SETTEXT:
      if (!m_windows.IsTopLevel(h.nWindow)) return true;  // the buffer
      // Clients find a monitor by its title: no other process renames it.
      *status = std::uint32_t(wire::EStatus::kRefused);
      Report(
          EKind::kRetitle,
          who + QStringLiteral("to retitle the window \"%1\"").arg(m_windows.FromHandle(h.nWindow)->GetWindowText()));
      return false;
    case WM_COMMAND:
      if (h.nWParam == kEntryFromBufferCommand && m_windows.IsTopLevel(h.nWindow)) return true;
      *status = std::uint32_t(wire::EStatus::kRefused);
      Report(EKind::kCommand,
             who + QStringLiteral("to run command %1: only Entry from Buffer is taken from clients").arg(h.nWParam));
      return false;
    case WM_CLOSE:
      *status = std::uint32_t(wire::EStatus::kRefused);
      Report(EKind::kClose, who + QStringLiteral("to close a window: only the user closes the monitor"));
      return false;
    case WM_GETTEXT:
      *status = std::uint32_t(wire::EStatus::kRefused);
      Report(EKind::kReadText, who + QStringLiteral("to read a window's text: clients only hand lines over"));
      return false;
    default:
      *status = std::uint32_t(wire::EStatus::kUnsupportedMessage);
      return false;
  }
}

std::int64_t CWindowServer::Identify(SConnection* client, std::u16string_view text, bool inGroup,
                                     std::uint32_t* status) {
  if (inGroup || client->bIdentified) {
    *status = std::uint32_t(wire::EStatus::kRefused);
    Report(inGroup ? EKind::kIdentifyInGroup : EKind::kIdentifyAgain,
           QStringLiteral("Refused an identification of pid %1: %2")
               .arg(client->peer.nPid)
               .arg(inGroup ? QStringLiteral("it came inside a group of frames")
                            : QStringLiteral("the connection was identified before")));
    return 0;
  }
  client->bIdentified = true;
  TakeToldIdentity(QStringView(text.data(), qsizetype(text.size())), &client->peer);
  return client->peer.bTold ? 1 : 0;
}

}  // namespace zef
