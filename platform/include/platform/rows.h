// SPDX-License-Identifier: GPL-3.0-or-later
// Row sharing: the one place where the program spreads work over several threads.
//
// ForEachRowBand cuts a range of rows into bands and hands them out on demand, from a shared
// counter, to the calling thread and to helper threads: a helper that does not get a processor
// takes no band, and the caller does the bands itself instead of waiting for it. Only as many
// threads take part as the calling thread may run on processors (its affinity mask), or as many
// as the environment variable MORPHANE_THREADS=N says (1: the caller alone). The helpers are
// started on first use and sleep between jobs; they use no processor time while the program is
// idle.
//
// The bands of one call must be independent of each other: each may run on any thread and at
// the same time as any other. What depends on the order of rows stays on the caller.
#pragma once

#include <concepts>
#include <cstdint>
#include <type_traits>

namespace platform {

// A non-owning reference to a callable taking (first row, end row); the callable must outlive
// the call it is passed to.
class TBandFn {
public:
  template <class F>
    requires(!std::same_as<std::remove_cvref_t<F>, TBandFn> && std::invocable<const F&, int32_t, int32_t>)
  TBandFn(const F& f) // NOLINT: converts implicitly, like a function reference
      : FObject(&f), FCall([](const void* object, int32_t first, int32_t end) {
          (*static_cast<const F*>(object))(first, end);
        }) {}
  void operator()(int32_t first, int32_t end) const { FCall(FObject, first, end); }

private:
  const void* FObject;
  void (*FCall)(const void*, int32_t, int32_t);
};

// Calls fn(first, end) for bands first..end-1 that together cover rowBegin..rowEnd-1 exactly
// once, and returns when all have run. Bands hold `grain` rows (the last one fewer); grain 0
// picks a size that gives every thread several bands. A single band, a single thread, or a call
// made while another call is running (from another thread, or from inside fn) runs every band on
// the calling thread, in order. An exception thrown by fn stops the handing out of bands and is
// thrown again here once every band already begun has ended.
void ForEachRowBand(int32_t rowBegin, int32_t rowEnd, TBandFn fn, int32_t grain = 0);

// How many threads a call of ForEachRowBand from this thread would use now (at least 1).
int32_t RowThreads();

// True on the helper threads, false on every caller: lets a band do what only the calling
// thread may do (reporting progress, for one).
bool OnRowHelper();

} // namespace platform
