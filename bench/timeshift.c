/* Preloaded into the program under test: its CLOCK_REALTIME runs ahead of (or
 * behind) the system's by the nanoseconds written in the file
 * $PREKIDNIK_TIMESHIFT, read again each millisecond. A change is a step of the
 * clock as the kernel tells it: CLOCK_REALTIME timerfds armed with
 * TFD_TIMER_CANCEL_ON_SET turn readable and their read() fails with ECANCELED;
 * other absolute ones come due at the same instant of the new time of day. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#define NS 1000000000LL
enum { REALTIME = 1, ABSOLUTE = 2, CANCEL_ON_SET = 4, CANCELLED = 8 };
static int flags[256];   /* of each timerfd */
static int64_t due[256]; /* an absolute one's instant, in the shifted time of day */
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static _Atomic int64_t offset;

#define REAL(name)                                                     \
  ({                                                                   \
    static __typeof__(&name) real;                                     \
    real ? real : (real = (__typeof__(&name))dlsym(RTLD_NEXT, #name)); \
  })

static int tracked(int fd) { return fd >= 0 && fd < 256 && (flags[fd] & REALTIME); }

static int arm(int fd, int64_t at, int flag) { /* on the system's clock */
  struct itimerspec s = {{0, 0}, {at / NS, at % NS}};
  if (at <= 0) s.it_value = (struct timespec){0, 1};
  return REAL(timerfd_settime)(fd, TFD_TIMER_ABSTIME | flag, &s, NULL);
}

static void* watch(void* path) {
  while (usleep(1000) == 0 || errno == EINTR) {
    char text[32] = {0};
    int f = open(path, O_RDONLY | O_CLOEXEC);
    ssize_t got = f < 0 ? -1 : REAL(read)(f, text, sizeof text - 1);
    if (f >= 0) REAL(close)(f);
    if (got <= 0 || strtoll(text, NULL, 10) == offset) continue;
    pthread_mutex_lock(&lock);
    offset = strtoll(text, NULL, 10);
    for (int fd = 0; fd < 256; ++fd) {
      if (!tracked(fd) || !(flags[fd] & ABSOLUTE)) continue;
      if (flags[fd] & CANCEL_ON_SET) flags[fd] |= CANCELLED;
      arm(fd, flags[fd] & CANCEL_ON_SET ? 0 : due[fd] - offset, 0); /* cancelled: at once */
    }
    pthread_mutex_unlock(&lock);
  }
  return NULL;
}

__attribute__((constructor)) static void start(void) {
  pthread_t thread;
  if (getenv("PREKIDNIK_TIMESHIFT") &&
      !pthread_create(&thread, NULL, watch, getenv("PREKIDNIK_TIMESHIFT")))
    pthread_detach(thread);
}

int clock_gettime(clockid_t clock, struct timespec* t) {
  int result = REAL(clock_gettime)(clock, t);
  if (result == 0 && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
    int64_t ns = t->tv_sec * NS + t->tv_nsec + offset;
    *t = (struct timespec){ns / NS, ns % NS};
  }
  return result;
}

int timerfd_create(int clock, int fdFlags) {
  int fd = REAL(timerfd_create)(clock, fdFlags);
  if (fd >= 0 && fd < 256) flags[fd] = clock == CLOCK_REALTIME ? REALTIME : 0;
  return fd;
}

int timerfd_settime(int fd, int how, const struct itimerspec* value, struct itimerspec* old) {
  if (!tracked(fd) || !(how & TFD_TIMER_ABSTIME) ||
      !(value->it_value.tv_sec | value->it_value.tv_nsec)) {
    if (tracked(fd)) flags[fd] = REALTIME;
    return REAL(timerfd_settime)(fd, how, value, old);
  }
  pthread_mutex_lock(&lock);
  flags[fd] = REALTIME | ABSOLUTE | (how & TFD_TIMER_CANCEL_ON_SET ? CANCEL_ON_SET : 0);
  due[fd] = value->it_value.tv_sec * NS + value->it_value.tv_nsec;
  int result = arm(fd, due[fd] - offset, how & TFD_TIMER_CANCEL_ON_SET);
  pthread_mutex_unlock(&lock);
  return result;
}

ssize_t read(int fd, void* buffer, size_t size) {
  if (!tracked(fd) || !(flags[fd] & CANCELLED)) return REAL(read)(fd, buffer, size);
  pthread_mutex_lock(&lock);
  uint64_t expirations;
  if (REAL(read)(fd, &expirations, sizeof expirations) < 0) expirations = 0; /* drained */
  flags[fd] &= ~CANCELLED;
  arm(fd, due[fd] - offset, TFD_TIMER_CANCEL_ON_SET); /* the kernel keeps it armed too */
  pthread_mutex_unlock(&lock);
  errno = ECANCELED;
  return -1;
}

int close(int fd) {
  if (fd >= 0 && fd < 256) flags[fd] = 0;
  return REAL(close)(fd);
}
