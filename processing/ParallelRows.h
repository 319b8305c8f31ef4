#pragma once
#include <cstdint>
#include <functional>

// Runs Body over the rows [0, Count) split into bands, one thread per band,
// when the work is large enough to pay for the threads; Body(Begin, End)
// must touch only its own rows. The first exception of any band is passed on
// once every band has ended.
void ParallelRows(int32_t Count, int64_t WorkPerRow, const std::function<void(int32_t, int32_t)>& Body);
