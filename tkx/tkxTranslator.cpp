// Conversions a model does not supply answer "operation not available".
#include "tkx/tkxTranslator.h"

#include "tkx/tkxErrno.h"

static int NotAvailable() { return tkx::Fail(TKX_ERR_NOT_AVAILABLE); }

int tkxTranslator::EncToPos(int, int, int, double *, double *, double *) { return NotAvailable(); }
int tkxTranslator::PosToEnc(double, double, double, int *, int *, int *) { return NotAvailable(); }
int tkxTranslator::EncToJacobian(int, int, int, double[3][3]) { return NotAvailable(); }
int tkxTranslator::MotToFrc(short, short, short, int, int, int, double *, double *, double *) {
  return NotAvailable();
}
int tkxTranslator::FrcToMot(double, double, double, int, int, int, short *, short *, short *) {
  return NotAvailable();
}
int tkxTranslator::JointTrqToMot(double, double, double, short *, short *, short *) { return NotAvailable(); }
