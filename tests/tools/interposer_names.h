// The calls the validator's monitors interpose, in the order the probe
// plug-in reports them (one output sample each).
#pragma once

namespace khtest {

inline const char* const kInterposedNames[] = {"malloc",
                                               "free",
                                               "calloc",
                                               "realloc",
                                               "posix_memalign",
                                               "pthread_mutex_lock",
                                               "pthread_rwlock_rdlock",
                                               "pthread_rwlock_wrlock",
                                               "pthread_spin_lock",
                                               "pthread_cond_wait",
                                               "pthread_cond_timedwait",
                                               "sem_wait",
                                               "sem_timedwait",
                                               "syscall",
                                               "nanosleep",
                                               "usleep",
                                               "poll",
                                               "select",
                                               "open",
                                               "openat",
                                               "fopen",
                                               "read",
                                               "write",
                                               "mmap",
                                               "munmap"};

}  // namespace khtest
