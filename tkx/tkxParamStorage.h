// How a model parameter is kept in device memory (a 16-bit word, a 32-bit
// integer or a float), and its write and read through the communication class.
// Shared by the models whose parameters live in memory.
#ifndef TKX_PARAMSTORAGE_H
#define TKX_PARAMSTORAGE_H

#include "tkx/tkxCom.h"

namespace tkx {

enum class ParamStorage { Short, Int, Double };

inline void StoreParam(tkxCom *com, int id, ParamStorage storage, double v) {
  switch (storage) {
    case ParamStorage::Short:
      com->SetParam(id, static_cast<short>(v));
      break;
    case ParamStorage::Int:
      com->SetParam(id, static_cast<int>(v));
      break;
    case ParamStorage::Double:
      com->SetParam(id, v);
      break;
  }
}

// the value memory holds, or now when a read delivers nothing
inline double LoadParam(tkxCom *com, int id, ParamStorage storage, double now) {
  switch (storage) {
    case ParamStorage::Short: {
      short s = static_cast<short>(now);
      return com->GetParam(id, &s) >= 0 ? s : now;
    }
    case ParamStorage::Int: {
      int n = static_cast<int>(now);
      return com->GetParam(id, &n) >= 0 ? n : now;
    }
    case ParamStorage::Double: {
      double v = now;
      return com->GetParam(id, &v) >= 0 ? v : now;
    }
  }
  return now;
}

}  // namespace tkx

#endif
