#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tyq/accessor.h"

namespace tyq_tool {

// The NumPy element type of a stored sample type ("|u1", "<i4", ...); empty
// for types the raw brick read does not serve.
std::string npyTypeOfStored(Qra::Ostrel::Tyq::FileAccess::DataTypeEnum::value_type type);

// Reads a box of stored samples, unconverted, assembled from the raw bricks
// that cover it, into `bytes` laid out in storage order `order`. The box must
// overlap level `lod` of a survey of `survey` samples; what lies outside it
// reads as zeros, as do bricks the file does not hold. A box with none of
// its bricks present fails as a typed read would.
bool readRawBox(Qra::Ostrel::Tyq::FileAccess::Reader& reader,
                const Qra::Ostrel::Tyq::FileAccess::FileInfo& info, const int32_t survey[3],
                int lod, const int start[3], const int size[3], int order, std::vector<char>& bytes,
                Qra::Ostrel::Tyq::Private::Status* status);

}  // namespace tyq_tool
