// Keys as a person's keyboard gives them, through KWin's fake-input
// protocol: KWin delivers them as a real device's, to the window it has
// given the keyboard, and Xwayland sees the device that sends them.
// usage: fake_input EVDEV_CODE..., each pressed and released in turn.
#include "fake-input-client-protocol.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wayland-client.h>

enum { kReleased = 0, kPressed = 1 };

static struct org_kde_kwin_fake_input* input;

static void global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                   uint32_t version) {
  (void)data;
  if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4)
    input = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
}
static void global_remove(void* data, struct wl_registry* registry, uint32_t name) {
  (void)data, (void)registry, (void)name;
}
static const struct wl_registry_listener listener = {global, global_remove};

int main(int argc, char** argv) {
  struct wl_display* display = wl_display_connect(NULL);
  if (!display) return fputs("fake_input: no Wayland display\n", stderr), 1;
  wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
  wl_display_roundtrip(display);
  if (!input) return fputs("fake_input: the compositor offers no fake input\n", stderr), 1;
  org_kde_kwin_fake_input_authenticate(input, "tallowin tests", "to type as a person would");
  for (int i = 1; i < argc; ++i) {
    org_kde_kwin_fake_input_keyboard_key(input, atoi(argv[i]), kPressed);
    org_kde_kwin_fake_input_keyboard_key(input, atoi(argv[i]), kReleased);
  }
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return 0;
}
