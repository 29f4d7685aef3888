// Recursive, priority-inheriting mutex and its scope lock: the only lock type of
// the device library, so a low-priority thread holding it never stalls the
// haptic thread for longer than its own critical section.
#ifndef TKX_MUTEX_H
#define TKX_MUTEX_H

#include <pthread.h>

namespace tkx {

class Mutex {
 public:
  Mutex() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_INHERIT);
    if (pthread_mutex_init(&m_, &attr) != 0) {
      // without priority inheritance the lock still has to work
      pthread_mutexattr_setprotocol(&attr, PTHREAD_PRIO_NONE);
      pthread_mutex_init(&m_, &attr);
    }
    pthread_mutexattr_destroy(&attr);
  }
  ~Mutex() { pthread_mutex_destroy(&m_); }
  Mutex(const Mutex &) = delete;
  Mutex &operator=(const Mutex &) = delete;

  void lock() { pthread_mutex_lock(&m_); }
  void unlock() { pthread_mutex_unlock(&m_); }

 private:
  mutable pthread_mutex_t m_;
};

class Lock {
 public:
  explicit Lock(Mutex &m) : m_(m) { m_.lock(); }
  ~Lock() { m_.unlock(); }
  Lock(const Lock &) = delete;
  Lock &operator=(const Lock &) = delete;

 private:
  Mutex &m_;
};

}  // namespace tkx

#endif
