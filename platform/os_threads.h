// Whether this build can start threads: a browser build without shared memory cannot, and then
// whoever needs the work done does it on its own thread.
#pragma once

#if defined(__EMSCRIPTEN__) && !defined(__EMSCRIPTEN_PTHREADS__)
constexpr bool kThreadsAvailable = false;
#else
constexpr bool kThreadsAvailable = true;
#endif
