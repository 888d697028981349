#pragma once

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

// Qt orders some steps between threads with its own atomics and futexes (a thread's quit
// before the deferred deletes it runs as it finishes), which the thread checker cannot see:
// Qt is not built with it. Where our code relies on such an order, the thread that goes first
// calls HandOverRelease(token) and the one that follows HandOverAcquire(token) on the same
// token. Outside a -fsanitize=thread build both do nothing.
inline void HandOverRelease([[maybe_unused]] const void* token) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(token));
#endif
}

inline void HandOverAcquire([[maybe_unused]] const void* token) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(token));
#endif
}
