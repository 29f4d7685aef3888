// Conversions a model does not supply answer "operation not available".
#include "tkx/tkxRotator.h"

#include "tkx/tkxErrno.h"

static int NotAvailable() { return tkx::Fail(TKX_ERR_NOT_AVAILABLE); }

int tkxRotator::EncToRot(int, int, int, double *, double *, double *) { return NotAvailable(); }
int tkxRotator::RotToEnc(double, double, double, int *, int *, int *) { return NotAvailable(); }
int tkxRotator::MotToTrq(short, short, short, int, int, int, double *, double *, double *) { return NotAvailable(); }
int tkxRotator::TrqToMot(double, double, double, int, int, int, short *, short *, short *) { return NotAvailable(); }
int tkxRotator::EncToMatrix(int, int, int, double[3][3]) { return NotAvailable(); }
