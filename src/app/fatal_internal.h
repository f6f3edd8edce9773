// Between fatal_error and the render thread's routine.
#pragma once

// Thrown by fatal_error on the render thread and caught by the thread's routine only, so
// ending the thread unwinds its stack (locks released, blocks freed) like a return would.
struct RenderThreadExit {};
