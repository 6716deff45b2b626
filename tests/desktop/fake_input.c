// Input as a person's mouse and keyboard give it, through KWin's fake-input
// protocol: it reaches Wayland clients (plasmashell) that X tools cannot.
// usage: fake_input STEP..., each step one of: move X Y, click, key EVDEV_CODE,
// pause MILLISECONDS; all through one device, as from one person.
#include "fake-input-client-protocol.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

enum { kButtonLeft = 0x110, kReleased = 0, kPressed = 1 };

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
  org_kde_kwin_fake_input_authenticate(input, "tallowin tests", "to click as a person would");
  for (int i = 1; i < argc; ++i) {
    const char* step = argv[i];
    if (strcmp(step, "move") == 0 && i + 2 < argc) {
      org_kde_kwin_fake_input_pointer_motion_absolute(input, wl_fixed_from_int(atoi(argv[i + 1])),
                                                      wl_fixed_from_int(atoi(argv[i + 2])));
      i += 2;
    } else if (strcmp(step, "click") == 0) {
      org_kde_kwin_fake_input_button(input, kButtonLeft, kPressed);
      org_kde_kwin_fake_input_button(input, kButtonLeft, kReleased);
    } else if (strcmp(step, "key") == 0 && i + 1 < argc) {
      org_kde_kwin_fake_input_keyboard_key(input, atoi(argv[++i]), kPressed);
      org_kde_kwin_fake_input_keyboard_key(input, atoi(argv[i]), kReleased);
    } else if (strcmp(step, "pause") == 0 && i + 1 < argc) {
      wl_display_roundtrip(display);
      const long ms = atol(argv[++i]);
      nanosleep(&(struct timespec){ms / 1000, ms % 1000 * 1000000}, NULL);
    } else {
      fprintf(stderr, "fake_input: what is \"%s\"?\n", step);
      return 2;
    }
  }
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return 0;
}
