#pragma once

#include <vector>

#include "tyq/compress_tools.h"

namespace Qra::Ostrel::Tyq::Private::Tools {

using TyqCompressIO::WorkItem;

// Every column of 64 x 64 whole traces of levels 0..levels-1, level 0
// first; the last column along an axis is cut to the level's size.
std::vector<WorkItem> CopyItems(const TyqCompressIO::IReader& input, int levels);

// Every whole 64^3 brick of level 0 lying fully inside the survey, in a
// random order drawn from the std::rand sequence.
std::vector<WorkItem> ScanItems(const TyqCompressIO::IReader& input);

// Samples of the largest item.
int64_t LargestItem(const std::vector<WorkItem>& items);

}  // namespace Qra::Ostrel::Tyq::Private::Tools
