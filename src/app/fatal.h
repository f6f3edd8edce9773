// The one error exit.
#pragma once

// Formats the message (cut to 1023 characters). On the main thread: stops the music,
// closes the display, shows the message box and exits the process with code 1. On the
// render thread: stores the message, ends the thread and lets the normal shutdown show it.
[[noreturn]] void fatal_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
