// Conversions a model does not supply answer "operation not available".
#include "tkx/tkxGripper.h"

#include "tkx/tkxErrno.h"

static int NotAvailable() { return tkx::Fail(TKX_ERR_NOT_AVAILABLE); }

int tkxGripper::EncToRot(int, double *) { return NotAvailable(); }
int tkxGripper::RotToEnc(double, int *) { return NotAvailable(); }
int tkxGripper::MotToTrq(short, double *) { return NotAvailable(); }
int tkxGripper::TrqToMot(double, short *) { return NotAvailable(); }
int tkxGripper::EncToPos(int, double *) { return NotAvailable(); }
int tkxGripper::PosToEnc(double, int *) { return NotAvailable(); }
int tkxGripper::MotToFrc(short, double *) { return NotAvailable(); }
int tkxGripper::FrcToMot(double, short *) { return NotAvailable(); }
int tkxGripper::EncToThumb(double[3][3], double *, double *, double *) { return NotAvailable(); }
int tkxGripper::EncToFinger(int, double[3][3], double *, double *, double *) { return NotAvailable(); }
