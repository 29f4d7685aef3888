// Finite-difference velocity from time-stamped samples kept in a ring.
#ifndef TKX_VELOCITYESTIMATOR_H
#define TKX_VELOCITYESTIMATOR_H

#include "tkx/tkxMutex.h"

#include <memory>

namespace tkx {

enum VelocityEstimatorMethod {
  VELOCITY_LAST_PAIR = 0,
  VELOCITY_WINDOW_AVERAGE = 1,
  VELOCITY_WINDOW_SPAN = 2,
};

class VelocityEstimator {
 public:
  VelocityEstimator();
  virtual ~VelocityEstimator() = default;
  VelocityEstimator(const VelocityEstimator &) = delete;
  VelocityEstimator &operator=(const VelocityEstimator &) = delete;

  int Init(int dimension, double t0, double timeSlice, double rate, VelocityEstimatorMethod method);
  int Init(int dimension, double t0, const double *initial, double timeSlice, double rate,
           VelocityEstimatorMethod method);
  int Init(int dimension, double t0, const int *initial, double timeSlice, double rate, VelocityEstimatorMethod method);

  // a sample with the newest sample's time replaces it
  int Update(double t, const double *v);
  int Update(double t, const int *v);

  int GetVelocity(double now, double *out);
  int GetVelocity(double now, double *out, VelocityEstimatorMethod method, double window);

  int SetTimeSlice(double timeSlice);
  double GetTimeSlice();

  int GetDimension();
  int GetSize();
  VelocityEstimatorMethod GetMethod();

 private:
  template <typename T>
  int Reinit(int dimension, double t0, const T *initial, double timeSlice, double rate, VelocityEstimatorMethod method);
  int Prev(int i) const { return i == 0 ? size - 1 : i - 1; }
  double *Sample(int i) { return samples.get() + static_cast<long>(i) * dimension; }

  VelocityEstimatorMethod method;
  int dimension;
  int size;
  std::unique_ptr<double[]> samples;  // size rows of dimension values
  std::unique_ptr<double[]> times;
  double rate;
  int index;
  double timeSlice;
  tkx::Mutex mutex;
};

}  // namespace tkx

#endif
