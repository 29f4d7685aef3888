// Per-thread error cell and the message table.
#include "tkx/tkxErrno.h"
#include "tkx/tkxc.h"

#include <pthread.h>
#include <cstdlib>

namespace {

const char *const kMessages[TKX_ERROR_COUNT] = {
#define TKX_ERROR_MSG_(code, name, msg) msg,
    TKX_ERROR_TABLE(TKX_ERROR_MSG_)
#undef TKX_ERROR_MSG_
};

pthread_key_t tkxErrnoKey;
pthread_once_t tkxErrnoOnce = PTHREAD_ONCE_INIT;
bool tkxErrnoKeyOk = false;

// a thread whose cell could not be allocated still gets a usable cell; it is
// shared by such threads, which is the best a library can do without memory
thread_local int tkxErrnoFallback = 0;

void tkxErrnoDestructor(void *cell) { std::free(cell); }

void tkxErrnoCreateKey() { tkxErrnoKeyOk = pthread_key_create(&tkxErrnoKey, tkxErrnoDestructor) == 0; }

}  // namespace

extern "C" int *tkxErrnoLocation(void) {
  pthread_once(&tkxErrnoOnce, tkxErrnoCreateKey);
  if (!tkxErrnoKeyOk) return &tkxErrnoFallback;
  int *cell = static_cast<int *>(pthread_getspecific(tkxErrnoKey));
  if (cell == nullptr) {
    cell = static_cast<int *>(std::calloc(1, sizeof(int)));
    if (cell == nullptr || pthread_setspecific(tkxErrnoKey, cell) != 0) {
      std::free(cell);
      return &tkxErrnoFallback;
    }
  }
  return cell;
}

extern "C" const char *tkxErrorGetStr(int code) {
  if (code < 0 || code >= TKX_ERROR_COUNT) return TKX_ERROR_UNKNOWN_STR;
  return kMessages[code];
}

extern "C" const char *tkxErrorGetLastStr(void) { return tkxErrorGetStr(*tkxErrnoLocation()); }

namespace tkx {

int Fail(int code) {
  *tkxErrnoLocation() = code;
  return -1;
}

void SetError(int code) { *tkxErrnoLocation() = code; }

int LastError() { return *tkxErrnoLocation(); }

}  // namespace tkx
