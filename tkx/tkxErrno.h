// Library-internal access to the per-thread error cell.
#ifndef TKX_ERRNO_H
#define TKX_ERRNO_H

#include "tkx/tkxError.h"

namespace tkx {

// stores code in the calling thread's cell; returns -1 so failure paths can say
// "return tkx::Fail(TKX_ERR_...)"
int Fail(int code);

// stores code without the return convention (the registry sets 0 at construction)
void SetError(int code);

// the calling thread's current code (0 when the thread has not failed yet)
int LastError();

}  // namespace tkx

#endif
