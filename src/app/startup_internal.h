// Between start-up and the render thread.
#pragma once

// The stop event: set once by the main thread at shutdown, polled once per frame.
bool stop_requested();
