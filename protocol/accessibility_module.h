/* The accessibility module's interface (virelo-linux-accessibility.so): the one symbol it exports,
 * and the table of plain C functions that symbol gives. The module, the service that opens it for
 * the Linux host and the client library's part for controls all agree on this header; the C types
 * keep a module and a library of different releases from sharing any C++ object, and the version
 * makes the loader refuse a module whose table it does not know (accessibility_module_loader.h).
 *
 * A table is static data of the module and lives as long as the module stays open (for the life
 * of the process: GLib cannot be unloaded). A handle made by the table (controls, services) is
 * used by one thread at a time and freed by the table's matching function. No function throws or
 * calls back after it returned; a failure is reported through `error` and the function then gives
 * its empty value. Callbacks may not unwind through the module. */
#ifndef VIRELO_PROTOCOL_ACCESSIBILITY_MODULE_H
#define VIRELO_PROTOCOL_ACCESSIBILITY_MODULE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The version of the table below; a loader asks for the one it was built with. */
#define VIRELO_ACCESSIBILITY_MODULE_VERSION 2u
/* The name of the entry point, of type virelo_accessibility_module_entry. */
#define VIRELO_ACCESSIBILITY_MODULE_ENTRY "virelo_accessibility_module"

enum virelo_accessibility_error_kind {
  VIRELO_ACCESSIBILITY_OK = 0,
  VIRELO_ACCESSIBILITY_FAILED = 1,
  /* find() was given a role that role_names() does not list. */
  VIRELO_ACCESSIBILITY_UNKNOWN_ROLE = 2,
  /* controls_find(): the desktop tells no client where its windows are (a Wayland compositor that
   * keeps them to itself), so no control can be placed on the screen. An older reader takes it
   * for VIRELO_ACCESSIBILITY_FAILED. */
  VIRELO_ACCESSIBILITY_UNPLACEABLE = 3,
};

/* Filled in by a failing call: its kind and a message (NUL-terminated, possibly cut short). */
struct virelo_accessibility_error {
  int32_t kind;
  char message[512];
};

/* A predicate on a text (a name); `accepts` null accepts every text. */
struct virelo_text_filter {
  int (*accepts)(void* context, const char* text, size_t length);
  void* context;
};

struct virelo_controls_filter {
  /* A role name as role_names() lists it, or null for any. */
  const char* role;
  struct virelo_text_filter name;
  /* Called with the application's name in the tree and with its program's name (/proc/PID/comm);
   * either may accept it. */
  struct virelo_text_filter application;
  /* Nonzero: also the controls that are not showing. */
  int all;
  /* Called with the names of the accessibles enclosing a control, from its parent up to its
   * window; the control is given when one is accepted. `accepts` null: any control. */
  struct virelo_text_filter container;
};

/* A control as platform/controls.h describes it; the strings live until the callback returns. */
struct virelo_control {
  const char* role;
  const char* name;
  const char* application;
  int32_t pid;
  double x, y, width, height;
  uint8_t enabled, visible, focused, focusable, editable, covered, off_screen;
  int32_t stacking;
  /* Its whole text (UTF-8, `text_length` bytes), or null when it has none. */
  const char* text;
  size_t text_length;
  /* Nonzero when it has a value: current, minimum and maximum. */
  uint8_t has_value;
  double value, value_minimum, value_maximum;
  /* Names the control in controls_act() until the next controls_find(). */
  uint64_t handle;
};

struct virelo_control_sink {
  void (*control)(void* context, const struct virelo_control* control);
  /* An application that did not answer in time, by name. */
  void (*unanswering)(void* context, const char* application);
  void* context;
};

enum virelo_controls_reach {
  VIRELO_CONTROLS_READY = 0,
  VIRELO_CONTROLS_SWITCHED_OFF = 1,
  VIRELO_CONTROLS_NO_BUS = 2,
};

/* A rectangle in the X server's pixels. */
struct virelo_rect {
  double x, y, width, height;
};

/* What the snap target finder finds around a point: near targets (what a snapped move jumps to)
 * and wide ones (what a resting pointer is pulled onto). */
enum virelo_target_kind { VIRELO_TARGET_NEAR = 0, VIRELO_TARGET_WIDE = 1 };
struct virelo_target_sink {
  void (*target)(void* context, int32_t kind, const struct virelo_rect* bounds);
  void* context;
};

struct virelo_controls;
struct virelo_accessibility_services;

struct virelo_accessibility_module_v2 {
  /* VIRELO_ACCESSIBILITY_MODULE_VERSION of the module, and sizeof the table it gives: the first
   * two fields of the table of every version, so that any loader can read and refuse it. */
  uint32_t version;
  uint32_t size;
  /* The release the module was built with (PROJECT_VERSION), for messages and for services(). */
  const char* release;

  /* The controls of the X display `display`, or of a Wayland desktop named as services_open()
   * names one ("kde:", "gnome:"); every request to an application may take
   * `timeout_ms`. Null on failure. */
  struct virelo_controls* (*controls_open)(const char* display, int32_t timeout_ms,
                                           struct virelo_accessibility_error* error);
  void (*controls_close)(struct virelo_controls* controls);
  int32_t (*controls_reach)(struct virelo_controls* controls,
                            struct virelo_accessibility_error* error);
  /* Gives the matching controls and the unanswering applications to `sink`, in the order of
   * platform/controls.h. */
  void (*controls_find)(struct virelo_controls* controls,
                        const struct virelo_controls_filter* filter,
                        const struct virelo_control_sink* sink,
                        struct virelo_accessibility_error* error);
  /* Gives every role name of the accessibility tree to `role`. */
  void (*controls_role_names)(struct virelo_controls* controls,
                              void (*role)(void* context, const char* name), void* context,
                              struct virelo_accessibility_error* error);
  /* Has the control of the latest controls_find() with `handle` do its action named `action` (its
   * first one when null), and gives the action's name to `done`. */
  void (*controls_act)(struct virelo_controls* controls, uint64_t handle, const char* action,
                       void (*done)(void* context, const char* name), void* context,
                       struct virelo_accessibility_error* error);

  /* Runs the service's snap target finder once around (x, y) on the display and gives what the
   * near and the wide search find to `sink`. */
  void (*find_targets)(const char* display, double x, double y,
                       const struct virelo_target_sink* sink,
                       struct virelo_accessibility_error* error);

  /* For the service of the same release only: its accessibility services as C++ objects of that
   * build (platform/hosts/linux_accessibility.h), which the service takes only when `release`
   * equals its own. Null on failure. */
  struct virelo_accessibility_services* (*services_open)(const char* display,
                                                         struct virelo_accessibility_error* error);
  void (*services_close)(struct virelo_accessibility_services* services);
};

/* The entry point: the table of `wanted_version`, or null when the module has no table of that
 * version. */
typedef const void* (*virelo_accessibility_module_entry)(uint32_t wanted_version);

#ifdef __cplusplus
}
#endif

#endif
