#include "tkx/tkxVelocityEstimator.h"

#include <cmath>
#include <new>

namespace tkx {

VelocityEstimator::VelocityEstimator()
    : method(VELOCITY_WINDOW_SPAN), dimension(0), size(0), rate(0.0), index(0), timeSlice(0.0) {
  Reinit<double>(2, 0.0, nullptr, 0.015, 4000.0, VELOCITY_WINDOW_SPAN);
}

template <typename T>
int VelocityEstimator::Reinit(int dim, double t0, const T *initial, double ts, double r, VelocityEstimatorMethod m) {
  tkx::Lock lock(mutex);
  if (dim < 0) dim = 0;
  dimension = dim;
  method = m;
  rate = r;
  timeSlice = ts;
  index = 0;
  double product = r * ts;
  // a ring needs at least one sample, and a size that fits an int
  long n = (std::isfinite(product) && product >= 1.0 && product < 1e8) ? static_cast<long>(product) : 1;
  samples.reset();
  times.reset();
  for (;;) {
    samples.reset(new (std::nothrow) double[static_cast<size_t>(n) * (dim > 0 ? dim : 1)]);
    times.reset(new (std::nothrow) double[static_cast<size_t>(n)]);
    if ((samples && times) || n == 1) break;
    n = 1;
  }
  size = static_cast<int>(n);
  if (!samples || !times) {
    // out of memory even for one sample: keep a ring the accessors cannot overrun
    size = 0;
    return 0;
  }
  for (int i = 0; i < size; ++i) {
    times[i] = t0;
    double *s = Sample(i);
    for (int d = 0; d < dimension; ++d) s[d] = initial ? static_cast<double>(initial[d]) : 0.0;
  }
  return 0;
}

int VelocityEstimator::Init(int dim, double t0, double ts, double r, VelocityEstimatorMethod m) {
  return Reinit<double>(dim, t0, nullptr, ts, r, m);
}

int VelocityEstimator::Init(int dim, double t0, const double *initial, double ts, double r, VelocityEstimatorMethod m) {
  return Reinit(dim, t0, initial, ts, r, m);
}

int VelocityEstimator::Init(int dim, double t0, const int *initial, double ts, double r, VelocityEstimatorMethod m) {
  return Reinit(dim, t0, initial, ts, r, m);
}

int VelocityEstimator::Update(double t, const double *v) {
  tkx::Lock lock(mutex);
  if (size == 0) return 0;
  if (t != times[index]) index = (index + 1 == size) ? 0 : index + 1;  // also taken for NaN
  double *s = Sample(index);
  for (int d = 0; d < dimension; ++d) s[d] = v[d];
  times[index] = t;
  return 0;
}

int VelocityEstimator::Update(double t, const int *v) {
  tkx::Lock lock(mutex);
  if (size == 0) return 0;
  if (t != times[index]) index = (index + 1 == size) ? 0 : index + 1;
  double *s = Sample(index);
  for (int d = 0; d < dimension; ++d) s[d] = static_cast<double>(v[d]);
  times[index] = t;
  return 0;
}

int VelocityEstimator::GetVelocity(double now, double *out) {
  tkx::Lock lock(mutex);
  return GetVelocity(now, out, method, timeSlice);
}

int VelocityEstimator::GetVelocity(double now, double *out, VelocityEstimatorMethod m, double window) {
  tkx::Lock lock(mutex);
  if (m != VELOCITY_LAST_PAIR && m != VELOCITY_WINDOW_AVERAGE && m != VELOCITY_WINDOW_SPAN) return -1;
  if (size == 0) {
    for (int d = 0; d < dimension; ++d) out[d] = 0.0;
    return m == VELOCITY_WINDOW_SPAN ? -1 : 0;
  }
  const double w = timeSlice < window ? timeSlice : window;
  const double threshold = now - w;

  // the newest sample taken at or before now
  auto firstNotAfter = [&]() {
    int c = index;
    for (int n = 0; n < size && times[c] > now; ++n) c = Prev(c);
    return c;
  };

  switch (m) {
    case VELOCITY_LAST_PAIR: {
      const int c = firstNotAfter();
      const int p = Prev(c);
      const double dt = times[c] - times[p];
      for (int d = 0; d < dimension; ++d) out[d] = dt == 0.0 ? 0.0 : (Sample(c)[d] - Sample(p)[d]) / dt;
      return 0;
    }
    case VELOCITY_WINDOW_AVERAGE: {
      for (int d = 0; d < dimension; ++d) out[d] = 0.0;
      int c = firstNotAfter();
      int count = 0;
      // at most size-1 pairs: the oldest sample's ring predecessor is the newest one,
      // which is not a consecutive pair; pairs with equal times carry no rate and are skipped
      for (int n = 0; n + 1 < size && times[c] >= threshold; ++n) {
        const int p = Prev(c);
        const double dt = times[c] - times[p];
        if (dt != 0.0) {
          for (int d = 0; d < dimension; ++d) out[d] += (Sample(c)[d] - Sample(p)[d]) / dt;
          ++count;
        }
        c = p;
      }
      if (count > 0)
        for (int d = 0; d < dimension; ++d) out[d] /= count;
      return 0;
    }
    case VELOCITY_WINDOW_SPAN: {
      int e = index;
      int s = -1;
      int k = index;
      for (int n = 0; n < size; ++n) {
        if (times[k] >= now) e = k;
        if (times[k] < threshold) {
          s = k;
          break;
        }
        k = Prev(k);
      }
      if (s < 0) s = index;
      if (s == e) s = Prev(e);
      const double dt = times[e] - times[s];
      if (dt == 0.0) {
        for (int d = 0; d < dimension; ++d) out[d] = 0.0;
        return -1;
      }
      for (int d = 0; d < dimension; ++d) out[d] = (Sample(e)[d] - Sample(s)[d]) / dt;
      return 0;
    }
  }
  return -1;
}

int VelocityEstimator::SetTimeSlice(double ts) {
  tkx::Lock lock(mutex);
  if (size == 0) return Reinit<double>(dimension, 0.0, nullptr, ts, rate, method);
  // the newest sample seeds the new ring; keep it while the old buffers go
  std::unique_ptr<double[]> newest(new (std::nothrow) double[dimension > 0 ? dimension : 1]);
  if (!newest) return Reinit<double>(dimension, times[index], nullptr, ts, rate, method);
  for (int d = 0; d < dimension; ++d) newest[d] = Sample(index)[d];
  return Reinit(dimension, times[index], newest.get(), ts, rate, method);
}

double VelocityEstimator::GetTimeSlice() {
  tkx::Lock lock(mutex);
  return timeSlice;
}

int VelocityEstimator::GetDimension() {
  tkx::Lock lock(mutex);
  return dimension;
}

int VelocityEstimator::GetSize() {
  tkx::Lock lock(mutex);
  return size;
}

VelocityEstimatorMethod VelocityEstimator::GetMethod() {
  tkx::Lock lock(mutex);
  return method;
}

}  // namespace tkx
