// One client connection of the window server: its socket, who is on the
// other end, the input not handled yet and the replies not sent yet, and
// where it is in its life. The server decides; this only moves bytes and
// keeps the record.
#pragma once

#include "platform/window/peer.h"

#include <zeftrace/wire.h>

#include <chrono>
#include <cstddef>
#include <string>

namespace zef {

struct SConnection {
  using Clock = std::chrono::steady_clock;

  // Its life, in this order only.
  enum class EState {
    kOpen,        // reading and answering
    kInputEnded,  // its input reached the end (or a reset): whole groups received still run
    kDropped,     // closed; freed at the next point where none of its requests runs, then PeerGone
    kClosed,      // closed by the server's Close(): freed without PeerGone
  };
  // Its replies.
  enum class EOutput {
    kFlowing,   // the socket took every reply so far
    kWaiting,   // replies wait for the client to read: the socket is watched for room
    kNoReader,  // its side reads no more (it died): replies are not kept
  };
  // What a Send left.
  enum class ESent { kAll, kSome, kNoReader, kFailed };

  int nFd = -1;
  SPeer peer;
  EState eState = EState::kOpen;
  EOutput eOutput = EOutput::kFlowing;
  // Input not handled yet: the rest of a read whose groups wait for the
  // client to read its replies, or a group still arriving.
  std::string strIn;
  std::string strOut;  // replies the socket did not take yet, from nOutSent on
  size_t nOutSent = 0;
  Clock::time_point tInSince{};   // since when strIn holds an incomplete group
  Clock::time_point tOutSince{};  // since when replies wait for the client to read
  // The flags below are independent of the state and of each other:
  // Edge-triggered readiness: an edge was seen and no read found the socket
  // empty since. Set by events at any point of its life.
  bool bReadable = true;
  // The peer shut its side: a short read no longer means nothing is left
  // (the end is). Known from an event before any read sees the end.
  bool bHangUp = false;
  // One of its groups runs, maybe in a nested loop: in any state, since a
  // handler's nested loop may drop the connection whose request it runs.
  bool bRunning = false;
  bool bListed = false;      // in the server's list of connections that may have work
  bool bIdentified = false;  // its identify was taken: later ones are refused

  bool Gone() const { return eState == EState::kDropped || eState == EState::kClosed; }
  bool OutPending() const { return nOutSent < strOut.size(); }
  bool InPartial() const { return !strIn.empty(); }
  // How far strIn holds a group: kIncomplete when empty.
  wire::EScan ScanIn() const {
    return strIn.empty() ? wire::EScan::kIncomplete : wire::ScanGroup(strIn.data(), strIn.size()).eScan;
  }
  // Whether strIn starts with something to run: a whole group, or one that
  // is invalid and ends the connection.
  bool HasGroup() const { return ScanIn() != wire::EScan::kIncomplete; }

  // Reads up to `size` bytes; false when none came (nothing left, or the
  // end, which moves it to kInputEnded).
  bool Read(char* data, size_t size, size_t* got);
  // Sends what the socket takes of strOut; `sent` tells whether any went.
  ESent Send(bool* sent);
  // Asks `epollFd` to report room for output, or stops asking.
  void WatchOutput(int epollFd, bool watch);
  // Closes the socket, and frees what it holds except input a running
  // request may still read.
  void CloseSocket(int epollFd, EState end);
};

}  // namespace zef
