/* Preloaded into the program under test: its time of day runs ahead of (or
 * behind) the system's by an offset read from the file $PREKIDNIK_TIMESHIFT
 * (nanoseconds, as decimal text). When a test replaces that file, the offset
 * changes at once and the program hears of it as it hears of the clock being
 * set: its CLOCK_REALTIME timerfds armed with TFD_TIMER_CANCEL_ON_SET become
 * readable and their read() fails with ECANCELED, and its absolute
 * CLOCK_REALTIME timers come due at the same instant of the new time of day.
 * Only clock_gettime() is shifted: the program reads the time of day with
 * nothing else. The machine's own clock is never touched. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <libgen.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/inotify.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#define NS 1000000000LL
#define MAX_FDS 256

struct tracked {
  int realtime;    /* a CLOCK_REALTIME timerfd */
  int absolute;    /* armed at an instant of the time of day */
  int cancelOnSet; /* armed with TFD_TIMER_CANCEL_ON_SET */
  int cancelled;   /* a step came: the next read() fails with ECANCELED */
  int64_t due;     /* the instant, of the shifted time of day */
};

static struct tracked fds[MAX_FDS];
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static _Atomic int64_t offset;
static const char* control;

static int (*real_clock_gettime)(clockid_t, struct timespec*);
static int (*real_timerfd_create)(int, int);
static int (*real_timerfd_settime)(int, int, const struct itimerspec*, struct itimerspec*);
static ssize_t (*real_read)(int, void*, size_t);
static int (*real_close)(int);

static int64_t to_ns(const struct timespec* t) { return t->tv_sec * NS + t->tv_nsec; }
static struct timespec from_ns(int64_t ns) {
  struct timespec t = {ns / NS, ns % NS};
  return t;
}

/* Arms `fd` on the system's clock for the instant `due` of the shifted one. */
static void arm(int fd, int64_t due, int cancelOnSet) {
  struct itimerspec setting = {{0, 0}, from_ns(due - offset)};
  if (setting.it_value.tv_sec <= 0) setting.it_value = (struct timespec){0, 1};
  real_timerfd_settime(fd, TFD_TIMER_ABSTIME | (cancelOnSet ? TFD_TIMER_CANCEL_ON_SET : 0),
                       &setting, NULL);
}

static int read_offset(int64_t* value) {
  int f = open(control, O_RDONLY | O_CLOEXEC);
  if (f < 0) return 0;
  char text[64] = {0};
  ssize_t n = real_read(f, text, sizeof text - 1);
  real_close(f);
  if (n <= 0) return 0;
  *value = strtoll(text, NULL, 10);
  return 1;
}

static void step(int64_t to) {
  pthread_mutex_lock(&lock);
  offset = to;
  for (int fd = 0; fd < MAX_FDS; ++fd) {
    struct tracked* t = &fds[fd];
    if (!t->realtime || !t->absolute) continue;
    if (t->cancelOnSet) {
      t->cancelled = 1;
      struct itimerspec now = {{0, 0}, {0, 1}}; /* readable at once */
      real_timerfd_settime(fd, TFD_TIMER_ABSTIME, &now, NULL);
    } else {
      arm(fd, t->due, 0);
    }
  }
  pthread_mutex_unlock(&lock);
}

static void* watch(void* unused) {
  (void)unused;
  char* copy = strdup(control);
  char* name = strdup(control);
  const char* dir = dirname(copy);
  const char* base = basename(name);
  int in = inotify_init1(IN_CLOEXEC);
  inotify_add_watch(in, dir, IN_CLOSE_WRITE | IN_MOVED_TO);
  char events[4096] __attribute__((aligned(__alignof__(struct inotify_event))));
  for (;;) {
    ssize_t n = real_read(in, events, sizeof events);
    if (n <= 0) {
      if (errno == EINTR) continue;
      return NULL;
    }
    for (char* p = events; p < events + n;) {
      struct inotify_event* e = (struct inotify_event*)p;
      int64_t value;
      if (e->len > 0 && strcmp(e->name, base) == 0 && read_offset(&value) && value != offset)
        step(value);
      p += sizeof *e + e->len;
    }
  }
}

/* Other libraries' constructors may call in before this one runs. */
static void resolve(void) {
  if (real_close != NULL) return;
  real_clock_gettime = dlsym(RTLD_NEXT, "clock_gettime");
  real_timerfd_create = dlsym(RTLD_NEXT, "timerfd_create");
  real_timerfd_settime = dlsym(RTLD_NEXT, "timerfd_settime");
  real_read = dlsym(RTLD_NEXT, "read");
  real_close = dlsym(RTLD_NEXT, "close");
}

__attribute__((constructor)) static void start(void) {
  resolve();
  control = getenv("PREKIDNIK_TIMESHIFT");
  if (control == NULL) return;
  int64_t value;
  if (read_offset(&value)) offset = value;
  pthread_t thread;
  pthread_create(&thread, NULL, watch, NULL);
  pthread_detach(thread);
}

int clock_gettime(clockid_t clock, struct timespec* t) {
  resolve();
  int result = real_clock_gettime(clock, t);
  if (result == 0 && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE))
    *t = from_ns(to_ns(t) + offset);
  return result;
}

int timerfd_create(int clock, int flags) {
  resolve();
  int fd = real_timerfd_create(clock, flags);
  if (fd >= 0 && fd < MAX_FDS) {
    pthread_mutex_lock(&lock);
    fds[fd] = (struct tracked){.realtime = clock == CLOCK_REALTIME};
    pthread_mutex_unlock(&lock);
  }
  return fd;
}

int timerfd_settime(int fd, int flags, const struct itimerspec* value, struct itimerspec* old) {
  resolve();
  if (fd < 0 || fd >= MAX_FDS || !fds[fd].realtime)
    return real_timerfd_settime(fd, flags, value, old);
  pthread_mutex_lock(&lock);
  struct tracked* t = &fds[fd];
  t->cancelled = 0;
  t->absolute = (flags & TFD_TIMER_ABSTIME) && (value->it_value.tv_sec || value->it_value.tv_nsec);
  t->cancelOnSet = t->absolute && (flags & TFD_TIMER_CANCEL_ON_SET);
  int result;
  if (t->absolute) {
    t->due = to_ns(&value->it_value);
    struct itimerspec shifted = *value;
    shifted.it_value = from_ns(t->due - offset);
    result = real_timerfd_settime(fd, flags, &shifted, old);
  } else {
    result = real_timerfd_settime(fd, flags, value, old);
  }
  pthread_mutex_unlock(&lock);
  return result;
}

ssize_t read(int fd, void* buffer, size_t size) {
  resolve();
  if (fd >= 0 && fd < MAX_FDS && fds[fd].cancelled) {
    pthread_mutex_lock(&lock);
    struct tracked* t = &fds[fd];
    if (t->cancelled) {
      uint64_t expirations;
      real_read(fd, &expirations, sizeof expirations);
      t->cancelled = 0;
      arm(fd, t->due, 1); /* the kernel keeps the timer armed, too */
      pthread_mutex_unlock(&lock);
      errno = ECANCELED;
      return -1;
    }
    pthread_mutex_unlock(&lock);
  }
  return real_read(fd, buffer, size);
}

int close(int fd) {
  resolve();
  if (fd >= 0 && fd < MAX_FDS && fds[fd].realtime) {
    pthread_mutex_lock(&lock);
    fds[fd] = (struct tracked){0};
    pthread_mutex_unlock(&lock);
  }
  return real_close(fd);
}
