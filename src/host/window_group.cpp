#include "host/window_group.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace host {

namespace {

// WM_HINTS (ICCCM 4.1.2.4): nine 32-bit fields, each read only when its
// flag is set in the first: the initial state third, the window group last.
constexpr std::size_t kHintFields = 9;
constexpr std::size_t kStateField = 2;
constexpr std::size_t kGroupField = 8;
constexpr std::uint32_t kStateHint = 1u << 1;
constexpr std::uint32_t kWindowGroupHint = 1u << 6;
constexpr std::uint32_t kNormalState = 1;

using Hints = std::array<std::uint32_t, kHintFields>;

// Rewrites a top-level widget's WM_HINTS through edit, keeping the hints it
// leaves alone.
template <typename Edit>
void EditHints(QWidget& widget, Edit edit) {
  // Only on the X11 platform itself: offscreen, Qt offers the X11
  // interface with no connection, and its windows are no X windows.
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !x11->connection() || QGuiApplication::platformName() != QLatin1String("xcb"))
    return;
  xcb_connection_t* const connection = x11->connection();
  const auto window = static_cast<xcb_window_t>(widget.winId());
  Hints hints{};
  const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(connection,
                             xcb_get_property(connection, 0, window, XCB_ATOM_WM_HINTS,
                                              XCB_ATOM_WM_HINTS, 0, kHintFields),
                             nullptr),
      &std::free);
  if (reply && reply->format == 32) {
    const auto bytes =
        std::min<std::size_t>(xcb_get_property_value_length(reply.get()), sizeof hints);
    std::memcpy(hints.data(), xcb_get_property_value(reply.get()), bytes);
  }
  edit(hints, window);
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS,
                      XCB_ATOM_WM_HINTS, 32, kHintFields, hints.data());
}

}  // namespace

void OwnWindowGroup(QWidget& widget) {
  EditHints(widget, [](Hints& hints, xcb_window_t window) {
    hints[0] |= kWindowGroupHint;
    hints[kGroupField] = window;
  });
}

void MapNormal(QWidget& widget) {
  EditHints(widget, [](Hints& hints, xcb_window_t) {
    hints[0] |= kStateHint;
    hints[kStateField] = kNormalState;
  });
}

}  // namespace host
