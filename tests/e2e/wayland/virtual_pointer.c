/* A pointer for the end-to-end tests on a Wayland compositor that offers
 * zwlr_virtual_pointer_manager_v1 (sway, and others built on wlroots): the
 * compositor takes its motion and buttons as a user's mouse, and the seat has
 * a pointer from its start to its end.
 *
 * It reads one command a line from standard input and answers each with "ok"
 * once the compositor has taken it (a round trip), "error" for one it cannot
 * read, then "ready" once at the start:
 *
 *   move X Y WIDTH HEIGHT   to X, Y of a layout WIDTH by HEIGHT (any unit:
 *                           the compositor scales it onto the whole layout)
 *   down BUTTON / up BUTTON press or release button 1 (left), 2 (middle), 3 (right)
 *
 * It ends at the end of its input. */
#include <linux/input-event-codes.h>
#include <stdio.h>
#include <string.h>
#include <time.h>
#include <wayland-client.h>

#include "virtual-pointer-client.h"

static struct wl_seat *seat;
static struct zwlr_virtual_pointer_manager_v1 *manager;

static void global(void *data, struct wl_registry *registry, uint32_t name, const char *interface,
                   uint32_t version) {
  (void)data;
  (void)version;
  if (strcmp(interface, wl_seat_interface.name) == 0 && !seat)
    seat = wl_registry_bind(registry, name, &wl_seat_interface, 1);
  else if (strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
    manager = wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
}

static void global_remove(void *data, struct wl_registry *registry, uint32_t name) {
  (void)data;
  (void)registry;
  (void)name;
}

static const struct wl_registry_listener registry_listener = {global, global_remove};

static uint32_t now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (uint32_t)(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

static int button_code(unsigned button) {
  switch (button) {
    case 1:
      return BTN_LEFT;
    case 2:
      return BTN_MIDDLE;
    case 3:
      return BTN_RIGHT;
    default:
      return -1;
  }
}

int main(void) {
  struct wl_display *display = wl_display_connect(NULL);
  if (!display) {
    fprintf(stderr, "virtual_pointer: no Wayland display\n");
    return 1;
  }
  struct wl_registry *registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &registry_listener, NULL);
  wl_display_roundtrip(display);
  if (!manager) {
    fprintf(stderr, "virtual_pointer: the compositor offers no virtual pointer\n");
    return 2;
  }
  struct zwlr_virtual_pointer_v1 *pointer =
      zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
  if (wl_display_roundtrip(display) < 0) return 1;
  printf("ready\n");
  fflush(stdout);

  char line[256];
  while (fgets(line, sizeof line, stdin)) {
    unsigned x, y, width, height, button;
    int code;
    if (sscanf(line, "move %u %u %u %u", &x, &y, &width, &height) == 4 && x <= width &&
        y <= height) {
      zwlr_virtual_pointer_v1_motion_absolute(pointer, now_ms(), x, y, width, height);
    } else if (sscanf(line, "down %u", &button) == 1 && (code = button_code(button)) >= 0) {
      zwlr_virtual_pointer_v1_button(pointer, now_ms(), (uint32_t)code,
                                     WL_POINTER_BUTTON_STATE_PRESSED);
    } else if (sscanf(line, "up %u", &button) == 1 && (code = button_code(button)) >= 0) {
      zwlr_virtual_pointer_v1_button(pointer, now_ms(), (uint32_t)code,
                                     WL_POINTER_BUTTON_STATE_RELEASED);
    } else {
      printf("error\n");
      fflush(stdout);
      continue;
    }
    zwlr_virtual_pointer_v1_frame(pointer);
    if (wl_display_roundtrip(display) < 0) return 1;
    printf("ok\n");
    fflush(stdout);
  }
  zwlr_virtual_pointer_v1_destroy(pointer);
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return 0;
}
