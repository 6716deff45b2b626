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

// WM_HINTS (ICCCM 4.1.2.4): nine 32-bit fields, the window group last,
// read only when its flag is set in the first.
constexpr std::size_t kHintFields = 9;
constexpr std::size_t kGroupField = 8;
constexpr std::uint32_t kWindowGroupHint = 1u << 6;

}  // namespace

void OwnWindowGroup(QWidget& widget) {
  // Only on the X11 platform itself: offscreen, Qt offers the X11
  // interface with no connection, and its windows are no X windows.
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !x11->connection() || QGuiApplication::platformName() != QLatin1String("xcb"))
    return;
  xcb_connection_t* const connection = x11->connection();
  const auto window = static_cast<xcb_window_t>(widget.winId());
  // The other hints Qt gave the window when it made it (input, initial
  // state) are kept.
  std::array<std::uint32_t, kHintFields> hints{};
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
  hints[0] |= kWindowGroupHint;
  hints[kGroupField] = window;
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS,
                      XCB_ATOM_WM_HINTS, 32, kHintFields, hints.data());
}

}  // namespace host
