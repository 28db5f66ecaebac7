#include "platform/x11/x11windows.h"

#include "platform/system/textunits.h"
#include "platform/x11/x11text.h"

#include <xcb/xcb.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zef {
namespace {

// A reply of xcb, freed with free().
template <class T>
using TReply = std::unique_ptr<T, decltype(&std::free)>;

template <class T>
TReply<T> Own(T* reply) {
  return TReply<T>(reply, &std::free);
}

// An error reply that the caller only needs to know happened.
bool Failed(xcb_generic_error_t* error) {
  if (!error) return false;
  std::free(error);
  return true;
}

// The errno that stands for a broken or refused connection.
int ConnectionErrno(int xcbError, bool connecting) {
  switch (xcbError) {
    case XCB_CONN_CLOSED_MEM_INSUFFICIENT:
      return ENOMEM;
    case XCB_CONN_CLOSED_REQ_LEN_EXCEED:
      return EMSGSIZE;
    case XCB_CONN_CLOSED_PARSE_ERR:
    case XCB_CONN_CLOSED_INVALID_SCREEN:
      return EINVAL;
    case XCB_CONN_CLOSED_EXT_NOTSUPPORTED:
      return ENOTSUP;
    default:
      return connecting ? ECONNREFUSED : ECONNRESET;
  }
}

std::string_view BytesOf(const xcb_get_property_reply_t* reply) {
  if (!reply || reply->format != 8) return {};
  return {static_cast<const char*>(xcb_get_property_value(reply)), std::size_t(xcb_get_property_value_length(reply))};
}

// A title: the bytes up to the first zero.
std::string_view TitleBytes(const xcb_get_property_reply_t* reply) {
  const std::string_view bytes = BytesOf(reply);
  return bytes.substr(0, bytes.find('\0'));
}

// Property lengths are counted in 32-bit units. A text cut to `units`
// UTF-16 units needs at most 3 bytes per unit in UTF-8.
std::uint32_t LongsForUnits(int units) { return std::uint32_t(units) * 3 / 4 + 2; }

// WM_CLASS is read to this many 32-bit units at first; a longer instance
// part costs one more request, for the class part after it or at the
// value's end, so a huge one costs no more.
constexpr std::uint32_t kClassLongs = 1024;

struct SWindowCookies {
  xcb_window_t window;
  xcb_get_window_attributes_cookie_t attributes;
  xcb_get_property_cookie_t netWmName;
  xcb_get_property_cookie_t wmName;
  xcb_get_property_cookie_t wmClass;
};

// The replies to a window's first requests.
struct SWindowReplies {
  TReply<xcb_get_window_attributes_reply_t> attributes{nullptr, &std::free};
  TReply<xcb_get_property_reply_t> netWmName{nullptr, &std::free};
  TReply<xcb_get_property_reply_t> wmName{nullptr, &std::free};
  TReply<xcb_get_property_reply_t> wmClass{nullptr, &std::free};
  bool bGone = false;  // the window went away since the list was read
};

// Sends the first requests for every window of `list`; `netWmName` is 0
// when no client ever named _NET_WM_NAME.
std::vector<SWindowCookies> RequestWindows(xcb_connection_t* connection, const std::vector<std::uint32_t>& list,
                                           xcb_atom_t netWmName, std::uint32_t textLongs) {
  std::vector<SWindowCookies> cookies;
  cookies.reserve(list.size());
  for (xcb_window_t window : list) {
    SWindowCookies c{};
    c.window = window;
    c.attributes = xcb_get_window_attributes(connection, window);
    if (netWmName != 0) c.netWmName = xcb_get_property(connection, 0, window, netWmName, XCB_ATOM_ANY, 0, textLongs);
    c.wmName = xcb_get_property(connection, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, textLongs);
    c.wmClass = xcb_get_property(connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_ANY, 0, kClassLongs);
    cookies.push_back(c);
  }
  return cookies;
}

// Collects the replies to RequestWindows for one window, in its order.
SWindowReplies CollectReplies(xcb_connection_t* connection, const SWindowCookies& c, bool hasNetWmName) {
  SWindowReplies replies;
  xcb_generic_error_t* error = nullptr;
  replies.attributes = Own(xcb_get_window_attributes_reply(connection, c.attributes, &error));
  // A window that went away since the list was read fails every request.
  replies.bGone = Failed(error) || !replies.attributes;
  error = nullptr;
  replies.netWmName =
      Own<xcb_get_property_reply_t>(hasNetWmName ? xcb_get_property_reply(connection, c.netWmName, &error) : nullptr);
  Failed(error);
  error = nullptr;
  replies.wmName = Own(xcb_get_property_reply(connection, c.wmName, &error));
  Failed(error);
  error = nullptr;
  replies.wmClass = Own(xcb_get_property_reply(connection, c.wmClass, &error));
  Failed(error);
  return replies;
}

}  // namespace

// A class part the first read of WM_CLASS did not hold whole: the rest is
// asked for after every first reply is in.
struct CX11Windows::SMoreClass {
  std::size_t nWindow;  // its index in the caller's vector
  bool bTail;           // the read is the value's end, not what follows the first read
  std::string strHead;  // the class part's bytes the first read held
  xcb_atom_t type;
  xcb_get_property_cookie_t cookie;
};

CX11Windows::CX11Windows(const char* displayName) {
  int screenNumber = 0;
  m_pConnection = xcb_connect(displayName, &screenNumber);
  if (const int error = xcb_connection_has_error(m_pConnection)) {
    m_nConnectErrno = ConnectionErrno(error, true);
    return;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_pConnection));
  for (int i = 0; i < screenNumber && screens.rem > 0; ++i) xcb_screen_next(&screens);
  if (screens.rem <= 0) {
    m_nConnectErrno = EINVAL;
    return;
  }
  m_nRoot = screens.data->root;
}

CX11Windows::~CX11Windows() { xcb_disconnect(m_pConnection); }

bool CX11Windows::Usable() {
  if (m_nConnectErrno != 0) {
    errno = m_nConnectErrno;
    return false;
  }
  if (const int error = xcb_connection_has_error(m_pConnection)) {
    errno = ConnectionErrno(error, false);
    return false;
  }
  return true;
}

const CX11Windows::SAtoms& CX11Windows::Atoms() {
  if (m_bAtomsRead) return m_atoms;
  struct SName {
    const char* name;
    std::uint32_t SAtoms::*field;
  };
  static constexpr SName kNames[] = {
      {"_NET_CLIENT_LIST", &SAtoms::netClientList},
      {"_NET_WM_NAME", &SAtoms::netWmName},
      {"UTF8_STRING", &SAtoms::utf8String},
      {"WM_PROTOCOLS", &SAtoms::wmProtocols},
      {"WM_DELETE_WINDOW", &SAtoms::wmDeleteWindow},
      {"_NET_CLOSE_WINDOW", &SAtoms::netCloseWindow},
      {"_NET_SUPPORTING_WM_CHECK", &SAtoms::netSupportingWmCheck},
      {"COMPOUND_TEXT", &SAtoms::compoundText},
  };
  xcb_intern_atom_cookie_t cookies[std::size(kNames)];
  // Only atoms that exist: a name no client used cannot be on any window.
  for (std::size_t i = 0; i < std::size(kNames); ++i)
    cookies[i] = xcb_intern_atom(m_pConnection, 1, std::uint16_t(std::strlen(kNames[i].name)), kNames[i].name);
  for (std::size_t i = 0; i < std::size(kNames); ++i) {
    auto reply = Own(xcb_intern_atom_reply(m_pConnection, cookies[i], nullptr));
    m_atoms.*kNames[i].field = reply ? reply->atom : 0;
  }
  m_bAtomsRead = true;
  return m_atoms;
}

QString CX11Windows::Decode(std::string_view bytes, std::uint32_t type) const {
  if (type != 0 && type == m_atoms.utf8String) return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
  if (type != 0 && type == m_atoms.compoundText) return DecodeCompoundText(bytes);
  return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
}

QString CX11Windows::Shown(std::string_view bytes, std::uint32_t type, int maxUnits) const {
  return CutToUnits(ShownText(Decode(bytes, type)), maxUnits);
}

bool CX11Windows::ReadWindowList(std::vector<std::uint32_t>& list, bool* onlyMapped) {
  const SAtoms& atoms = Atoms();
  // _NET_CLIENT_LIST only from a manager that runs: one that exited leaves
  // its last list behind, which names none of the windows mapped since.
  const bool managed = atoms.netClientList != 0 && HasWindowManager();
  if (!Usable()) return false;
  xcb_query_tree_cookie_t tree = xcb_query_tree(m_pConnection, m_nRoot);
  xcb_get_property_cookie_t clients{};
  if (managed)
    clients = xcb_get_property(m_pConnection, 0, m_nRoot, atoms.netClientList, XCB_ATOM_WINDOW, 0, kMaxWindows);
  auto treeReply = Own(xcb_query_tree_reply(m_pConnection, tree, nullptr));
  auto clientsReply =
      Own<xcb_get_property_reply_t>(managed ? xcb_get_property_reply(m_pConnection, clients, nullptr) : nullptr);
  if (!Usable()) return false;
  *onlyMapped = false;
  if (clientsReply && clientsReply->type == XCB_ATOM_WINDOW && clientsReply->format == 32) {
    const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(clientsReply.get()));
    list.assign(ids, ids + xcb_get_property_value_length(clientsReply.get()) / 4);
  } else if (treeReply) {
    const xcb_window_t* ids = xcb_query_tree_children(treeReply.get());
    const int count = xcb_query_tree_children_length(treeReply.get());
    list.assign(ids, ids + std::min<std::uint32_t>(std::uint32_t(count), kMaxWindows));
    *onlyMapped = true;
  }
  return true;
}

bool CX11Windows::EnumWindows(std::vector<CTopLevelWindow>& windows, int maxUnits) {
  if (!Usable()) return false;
  std::vector<std::uint32_t> list;
  bool onlyMapped = false;
  if (!ReadWindowList(list, &onlyMapped)) return false;
  // Every request first, then every reply.
  const xcb_atom_t netWmName = Atoms().netWmName;
  const std::vector<SWindowCookies> cookies = RequestWindows(m_pConnection, list, netWmName, LongsForUnits(maxUnits));
  std::vector<SMoreClass> more;
  for (const SWindowCookies& c : cookies) {
    const SWindowReplies replies = CollectReplies(m_pConnection, c, netWmName != 0);
    if (!Usable()) return false;
    if (replies.bGone || (onlyMapped && replies.attributes->map_state == XCB_MAP_STATE_UNMAPPED)) continue;
    CTopLevelWindow window;
    window.hWnd = c.window;
    const std::string_view netWmNameBytes = TitleBytes(replies.netWmName.get());
    window.strText = netWmNameBytes.empty()
                         ? Shown(TitleBytes(replies.wmName.get()), replies.wmName ? replies.wmName->type : 0, maxUnits)
                         : Shown(netWmNameBytes, replies.netWmName->type, maxUnits);
    window.strClass = ClassOf(replies.wmClass.get(), c.window, windows.size(), maxUnits, more);
    windows.push_back(std::move(window));
  }
  return ReadMoreClasses(more, windows, maxUnits);
}

QString CX11Windows::ClassOf(const xcb_get_property_reply_t* wmClass, std::uint32_t window, std::size_t index,
                             int maxUnits, std::vector<SMoreClass>& more) {
  const std::string_view classBytes = BytesOf(wmClass);
  const bool longer = wmClass && wmClass->bytes_after > 0;
  const std::optional<SClassPart> part = FindClassPart(classBytes);
  // Three bytes a unit are all that can be shown of the class.
  if (part && (part->bEnds || !longer || part->nEnd - part->nBegin >= std::size_t(maxUnits) * 3))
    return Shown(classBytes.substr(part->nBegin, part->nEnd - part->nBegin), wmClass->type, maxUnits);
  if (!longer) return {};
  SMoreClass m{index, !part, {}, wmClass->type, {}};
  if (part) {
    // The class part goes on past the first read: the rest of it follows.
    m.strHead = classBytes.substr(part->nBegin);
    m.cookie = xcb_get_property(m_pConnection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_ANY, kClassLongs,
                                LongsForUnits(maxUnits));
  } else {
    // The instance part alone outgrew the first read: the class part is
    // read off the value's end, a class of up to kClassLongs * 4 bytes.
    const std::uint32_t total = std::uint32_t(classBytes.size()) + wmClass->bytes_after;
    const std::uint32_t offset = total > kClassLongs * 4 ? (total - kClassLongs * 4) / 4 : 0;
    m.cookie = xcb_get_property(m_pConnection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_ANY, offset, kClassLongs + 1);
  }
  more.push_back(std::move(m));
  return {};
}

bool CX11Windows::ReadMoreClasses(const std::vector<SMoreClass>& more, std::vector<CTopLevelWindow>& windows,
                                  int maxUnits) {
  for (const SMoreClass& m : more) {
    xcb_generic_error_t* error = nullptr;
    auto reply = Own(xcb_get_property_reply(m_pConnection, m.cookie, &error));
    Failed(error);
    if (!Usable()) return false;
    // A value changed between the two reads leaves the class unknown.
    const std::string_view bytes = BytesOf(reply.get());
    if (!reply || reply->type != m.type) continue;
    std::optional<std::string_view> cls;
    std::string joined;
    if (m.bTail) {
      cls = ClassFromTail(bytes);
    } else {
      joined = m.strHead;
      joined += bytes.substr(0, bytes.find('\0'));
      cls = joined;
    }
    if (cls) windows[m.nWindow].strClass = Shown(*cls, m.type, maxUnits);
  }
  return true;
}

bool CX11Windows::IsWindow(std::uint32_t hWnd) {
  if (!Usable()) return false;
  if (hWnd == 0) {
    errno = ENXIO;
    return false;
  }
  xcb_generic_error_t* error = nullptr;
  auto reply =
      Own(xcb_get_window_attributes_reply(m_pConnection, xcb_get_window_attributes(m_pConnection, hWnd), &error));
  if (Failed(error) || !reply) {
    if (Usable()) errno = ENXIO;
    return false;
  }
  return true;
}

bool CX11Windows::HasWindowManager() {
  // A running window manager names a window of its own on the root, and
  // that window names itself (so a manager that died leaves no false trace).
  const SAtoms& atoms = Atoms();
  if (atoms.netSupportingWmCheck == 0) return false;
  const auto checkOf = [this, &atoms](xcb_window_t window) -> xcb_window_t {
    xcb_generic_error_t* error = nullptr;
    auto reply = Own(xcb_get_property_reply(
        m_pConnection, xcb_get_property(m_pConnection, 0, window, atoms.netSupportingWmCheck, XCB_ATOM_WINDOW, 0, 1),
        &error));
    if (Failed(error) || !reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) < 4) return 0;
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
  };
  const xcb_window_t manager = checkOf(m_nRoot);
  return manager != 0 && checkOf(manager) == manager;
}

bool CX11Windows::CloseWindow(std::uint32_t hWnd) {
  if (!IsWindow(hWnd)) return false;
  const SAtoms& atoms = Atoms();

  bool takesPart = false;
  if (atoms.wmProtocols != 0 && atoms.wmDeleteWindow != 0) {
    xcb_generic_error_t* error = nullptr;
    auto reply = Own(xcb_get_property_reply(
        m_pConnection, xcb_get_property(m_pConnection, 0, hWnd, atoms.wmProtocols, XCB_ATOM_ATOM, 0, 64), &error));
    if (Failed(error)) {
      errno = ENXIO;
      return false;
    }
    if (reply && reply->format == 32) {
      const auto* protocols = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
      const int count = xcb_get_property_value_length(reply.get()) / 4;
      for (int i = 0; i < count; ++i) takesPart = takesPart || protocols[i] == atoms.wmDeleteWindow;
    }
  }

  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = hWnd;
  xcb_window_t destination = hWnd;
  std::uint32_t mask = XCB_EVENT_MASK_NO_EVENT;
  if (takesPart) {
    event.type = atoms.wmProtocols;
    event.data.data32[0] = atoms.wmDeleteWindow;
    event.data.data32[1] = XCB_CURRENT_TIME;
  } else if (atoms.netCloseWindow != 0 && HasWindowManager()) {
    event.type = atoms.netCloseWindow;
    event.data.data32[0] = XCB_CURRENT_TIME;
    event.data.data32[1] = 2;  // source: a pager or tool acting for the user
    destination = m_nRoot;
    mask = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  } else {
    // Nothing can carry the request: said, rather than leaving the window
    // as it was without a word.
    if (Usable()) errno = ENOTSUP;
    return false;
  }
  static_assert(sizeof event == 32, "X events are 32 bytes");
  xcb_void_cookie_t sent =
      xcb_send_event_checked(m_pConnection, 0, destination, mask, reinterpret_cast<const char*>(&event));
  // The check is the round trip: once it returns the server has delivered
  // the request, or refused it because the window went away meanwhile.
  if (Failed(xcb_request_check(m_pConnection, sent))) {
    errno = ENXIO;
    return false;
  }
  return Usable();
}

}  // namespace zef
