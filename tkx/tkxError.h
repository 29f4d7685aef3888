/* Error codes of the tkx device library.
 *
 * Every failing entry returns -1 and stores one of these codes in the calling
 * thread's error cell (see tkxErrnoLocation). Success never clears the cell.
 * The table below is the only place the codes, names and messages are written. */
#ifndef TKX_ERROR_H
#define TKX_ERROR_H

/* X(code, name, message) */
#define TKX_ERROR_TABLE(X)                                      \
  X(0, TKX_ERR_NONE, "no error")                                \
  X(1, TKX_ERR_UNDOCUMENTED, "undocumented error")              \
  X(2, TKX_ERR_COMMUNICATION, "communication error")            \
  X(3, TKX_ERR_CONTROLLER_BUSY, "device controller busy")       \
  X(4, TKX_ERR_NO_DRIVER, "no driver found")                    \
  X(5, TKX_ERR_NO_DEVICE, "no device found")                    \
  X(6, TKX_ERR_NOT_AVAILABLE, "operation not available")        \
  X(7, TKX_ERR_TIMEOUT, "operation timed out")                  \
  X(8, TKX_ERR_GEOMETRY, "geometric error")                     \
  X(9, TKX_ERR_EXPERT_DISABLED, "expert mode disabled")         \
  X(10, TKX_ERR_NOT_IMPLEMENTED, "feature not implemented")     \
  X(11, TKX_ERR_OUT_OF_MEMORY, "out of memory")                 \
  X(12, TKX_ERR_NOT_READY, "device not ready")                  \
  X(13, TKX_ERR_FILE_NOT_FOUND, "file not found")               \
  X(14, TKX_ERR_AUTOCONFIG, "device auto-configuration failed") \
  X(15, TKX_ERR_INDEX_RANGE, "an index is outside a valid range")

enum {
#define TKX_ERROR_ENUM_(code, name, msg) name = code,
  TKX_ERROR_TABLE(TKX_ERROR_ENUM_)
#undef TKX_ERROR_ENUM_
      TKX_ERROR_COUNT = 16
};

/* Text returned by tkxErrorGetStr for a code outside the table. */
#define TKX_ERROR_UNKNOWN_STR "unknown error code"

#endif /* TKX_ERROR_H */
