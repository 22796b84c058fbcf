// Preloaded into the program under test (LD_PRELOAD) to make one kind of
// system call fail, or to signal the program, at a chosen moment. It picks
// the call by what it acts on: the unfinished page (".pagiste-*.tmp"), the
// page itself (a ".htm" path), the terminal, or anything.
//
//   PAGISTE_FAULT="<call> <target> <nth> <count> <action>"
//     call    open write read fsync close rename fchown fchmod ppoll poll tcsetattr, or *
//     target  temp page terminal any
//     nth     the first matching call to act on, from 1
//     count   how many matching calls in a row it acts on; 0: every one from nth on
//     action  errno=N   the call fails with errno N (close still closes)
//             short     a write stores half of its bytes
//             eof       a read finds the end of input
//             signal=N  the process sends itself signal N, then makes the call
//             pause=MS  the call waits MS milliseconds first
//             note      nothing: the call is only written to the log
//   PAGISTE_FAULT_LOG=<file>  (made beforehand) one line appended each time the fault acts:
//     "<call> <count of matching calls> <open's flags or write's size, else 0>"
//
// Under the sanitizers their interceptors call on into this library, so the
// same faults reach an instrumented program. It is written in C so that it
// brings no second C++ runtime into a program that has its own built in.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

enum target { kTargetNone, kTargetTemp, kTargetPage, kTargetTerminal, kTargetAny };
enum action {
  kActionNone,
  kActionErrno,
  kActionShort,
  kActionEof,
  kActionSignal,
  kActionPause,
  kActionNote,
};

static struct {
  char call[16];
  enum target target;
  long nth;
  long count;
  enum action action;
  int value;  // the errno or the signal
  long seen;  // matching calls so far
  const char* log;
} fault;

// What each descriptor that the program opened refers to.
enum { kTrackedDescriptors = 1024 };
static enum target opened[kTrackedDescriptors];

// The library's own function behind each one this file puts in front of it.
#define DEFINE_REAL(name)                                           \
  static __typeof__(&name) Real_##name(void) {                      \
    static __typeof__(&name) found;                                 \
    if (found == NULL) *(void**)(&found) = dlsym(RTLD_NEXT, #name); \
    return found;                                                   \
  }
DEFINE_REAL(openat)
DEFINE_REAL(write)
DEFINE_REAL(read)
DEFINE_REAL(fsync)
DEFINE_REAL(close)
DEFINE_REAL(rename)
DEFINE_REAL(fchown)
DEFINE_REAL(fchmod)
DEFINE_REAL(ppoll)
DEFINE_REAL(poll)
DEFINE_REAL(tcgetattr)
DEFINE_REAL(tcsetattr)

static enum target ParseTarget(const char* word) {
  if (strcmp(word, "temp") == 0) return kTargetTemp;
  if (strcmp(word, "page") == 0) return kTargetPage;
  if (strcmp(word, "terminal") == 0) return kTargetTerminal;
  if (strcmp(word, "any") == 0) return kTargetAny;
  return kTargetNone;
}

static void ParseAction(const char* word) {
  if (sscanf(word, "errno=%d", &fault.value) == 1) {
    fault.action = kActionErrno;
  } else if (sscanf(word, "signal=%d", &fault.value) == 1) {
    fault.action = kActionSignal;
  } else if (sscanf(word, "pause=%d", &fault.value) == 1) {
    fault.action = kActionPause;
  } else if (strcmp(word, "note") == 0) {
    fault.action = kActionNote;
  } else if (strcmp(word, "short") == 0) {
    fault.action = kActionShort;
  } else if (strcmp(word, "eof") == 0) {
    fault.action = kActionEof;
  }
}

__attribute__((constructor)) static void ReadFault(void) {
  const char* wanted = getenv("PAGISTE_FAULT");
  fault.log = getenv("PAGISTE_FAULT_LOG");
  char target[16] = "";
  char action[32] = "";
  if (wanted == NULL || sscanf(wanted, "%15s %15s %ld %ld %31s", fault.call, target, &fault.nth,
                             &fault.count, action) != 5) {
    fault.call[0] = '\0';
    return;
  }
  fault.target = ParseTarget(target);
  ParseAction(action);
}

static enum target PathKind(const char* path) {
  if (path == NULL) return kTargetNone;
  if (strstr(path, "/.pagiste-") != NULL) return kTargetTemp;
  const size_t length = strlen(path);
  if (length >= 4 && strcmp(path + length - 4, ".htm") == 0) return kTargetPage;
  return kTargetNone;
}

static enum target DescriptorKind(int fd) {
  if (fd >= 0 && fd < kTrackedDescriptors && opened[fd] != kTargetNone) return opened[fd];
  struct termios modes;
  return Real_tcgetattr()(fd, &modes) == 0 ? kTargetTerminal : kTargetNone;
}

static void Log(const char* call, long detail) {
  if (fault.log == NULL) return;
  const int fd = Real_openat()(AT_FDCWD, fault.log, O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return;
  char line[64];
  const int length = snprintf(line, sizeof line, "%s %ld %ld\n", call, fault.seen, detail);
  if (length > 0) Real_write()(fd, line, (size_t)length);
  Real_close()(fd);
}

// Whether this call is one the fault acts on; counts the matching calls.
static int Hits(const char* call, enum target kind, long detail) {
  if (fault.call[0] == '\0') return 0;
  if (strcmp(fault.call, "*") != 0 && strcmp(fault.call, call) != 0) return 0;
  if (fault.target != kTargetAny && fault.target != kind) return 0;
  ++fault.seen;
  if (fault.seen < fault.nth) return 0;
  if (fault.count > 0 && fault.seen >= fault.nth + fault.count) return 0;
  Log(call, detail);
  if (fault.action == kActionSignal) kill(getpid(), fault.value);
  if (fault.action == kActionPause) {
    const struct timespec pause = {fault.value / 1000, (long)(fault.value % 1000) * 1000000};
    nanosleep(&pause, NULL);
  }
  return fault.action != kActionSignal && fault.action != kActionPause &&
         fault.action != kActionNote;
}

static int Fail(void) {
  errno = fault.value;
  return -1;
}

static void Track(int fd, const char* path) {
  if (fd >= 0 && fd < kTrackedDescriptors) opened[fd] = PathKind(path);
}

static mode_t ModeArgument(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) != 0 ? (mode_t)va_arg(arguments, int) : 0;
}

static int OpenAt(int folder, const char* path, int flags, mode_t mode) {
  if (Hits("open", PathKind(path), flags) && fault.action == kActionErrno) return Fail();
  const int fd = Real_openat()(folder, path, flags, mode);
  Track(fd, path);
  return fd;
}

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return OpenAt(AT_FDCWD, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return OpenAt(AT_FDCWD, path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return OpenAt(folder, path, flags, mode);
}

int openat64(int folder, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  return OpenAt(folder, path, flags, mode);
}

ssize_t write(int fd, const void* bytes, size_t size) {
  if (Hits("write", DescriptorKind(fd), (long)size)) {
    if (fault.action == kActionErrno) return Fail();
    if (fault.action == kActionShort && size > 1) size /= 2;
  }
  return Real_write()(fd, bytes, size);
}

ssize_t read(int fd, void* bytes, size_t size) {
  if (Hits("read", DescriptorKind(fd), 0)) {
    if (fault.action == kActionErrno) return Fail();
    if (fault.action == kActionEof) return 0;
  }
  return Real_read()(fd, bytes, size);
}

int fsync(int fd) {
  if (Hits("fsync", DescriptorKind(fd), 0) && fault.action == kActionErrno) return Fail();
  return Real_fsync()(fd);
}

// The descriptor is gone whatever close says, as on Linux.
int close(int fd) {
  const int hit = Hits("close", DescriptorKind(fd), 0);
  if (fd >= 0 && fd < kTrackedDescriptors) opened[fd] = kTargetNone;
  const int closed = Real_close()(fd);
  return hit && fault.action == kActionErrno ? Fail() : closed;
}

int rename(const char* from, const char* to) {
  if (Hits("rename", PathKind(from), 0) && fault.action == kActionErrno) return Fail();
  return Real_rename()(from, to);
}

int fchown(int fd, uid_t owner, gid_t group) {
  if (Hits("fchown", DescriptorKind(fd), 0) && fault.action == kActionErrno) return Fail();
  return Real_fchown()(fd, owner, group);
}

int fchmod(int fd, mode_t mode) {
  if (Hits("fchmod", DescriptorKind(fd), 0) && fault.action == kActionErrno) return Fail();
  return Real_fchmod()(fd, mode);
}

// The C library declares the descriptors that poll reads as written only.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
int ppoll(struct pollfd* fds, nfds_t count, const struct timespec* timeout, const sigset_t* mask) {
  if (count > 0 && Hits("ppoll", DescriptorKind(fds[0].fd), 0) && fault.action == kActionErrno)
    return Fail();
  return Real_ppoll()(fds, count, timeout, mask);
}

int poll(struct pollfd* fds, nfds_t count, int timeout) {
  if (count > 0 && Hits("poll", DescriptorKind(fds[0].fd), 0) && fault.action == kActionErrno)
    return Fail();
  return Real_poll()(fds, count, timeout);
}

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

int tcsetattr(int fd, int when, const struct termios* modes) {
  if (Hits("tcsetattr", kTargetTerminal, 0) && fault.action == kActionErrno) return Fail();
  return Real_tcsetattr()(fd, when, modes);
}
