// Headless windows: they exist only as records and a message queue.
#include "host/common/message_queue.h"

int host_get_message(HostMessage* message) { return host_queue::get(message); }

WindowHandle host_window_create(const HostWindowDesc& desc) {
  return host_queue::register_window(desc);
}

void host_window_destroy(WindowHandle window) { host_queue::unregister_window(window); }
