// Writing through the uncompressed accessor. Flushing, finalising and the
// description are in place; sample, brick and flag writes arrive with the
// statistics and level-of-detail machinery they depend on.
#include "bricked/accessor.h"

namespace Qra::Ostrel::Tyq::Private::Bricked {

using Err = FileAccess::Error;

namespace {

bool notYet(Func& func, const std::string& name) {
  return func.setError(Err::NotImplemented, name);
}

}  // namespace

bool Accessor::Flush(bool newIdentity, bool /*generateLods*/, Status* status) {
  Func func("Accessor::Flush", status);
  if (!CheckOpen(func)) return false;
  if (!file_->IsWritable()) return func.setError(Err::ReadOnly, fileInfo_->fileName);
  return file_->Flush(newIdentity, func.statusP());
}

bool Accessor::Finalize(bool newIdentity, bool generateLods, Status* status) {
  Func func("Accessor::Finalize", status);
  if (!Flush(newIdentity, generateLods, func.statusP())) return false;
  return file_->Finalize(false, func.statusP());
}

bool Accessor::SetDataInfo(const DataInfo& info, Status* status) {
  Func func("Accessor::SetDataInfo", status);
  if (!CheckOpen(func)) return false;
  if (!file_->IsWritable()) return func.setError(Err::ReadOnly, fileInfo_->fileName);
  return file_->SetDataInfo(info, func.statusP());
}

#define TYQ_WRITE_NOT_YET(NAME)                                             \
  Func func(NAME, status);                                                  \
  if (!CheckOpen(func)) return false;                                       \
  if (!file_->IsWritable()) return func.setError(Err::ReadOnly, fileInfo_->fileName); \
  return notYet(func, fileInfo_->fileName)

bool Accessor::WriteGridFlags(int, int, int, int, int, const unsigned char*, Status* status) {
  TYQ_WRITE_NOT_YET("Accessor::WriteGridFlags");
}
bool Accessor::WriteData(int, int, int, int, int, int, int, const float*, Status* status) {
  TYQ_WRITE_NOT_YET("Accessor::WriteData");
}
bool Accessor::WriteData(int, int, int, int, int, int, int, const short*, Status* status) {
  TYQ_WRITE_NOT_YET("Accessor::WriteData");
}
bool Accessor::WriteData(int, int, int, int, int, int, int, const signed char*, Status* status) {
  TYQ_WRITE_NOT_YET("Accessor::WriteData");
}
bool Accessor::WriteGridFlagsTile(int, int, int, int, int, const unsigned char* const*,
                                  Status* status) {
  TYQ_WRITE_NOT_YET("Accessor::WriteGridFlagsTile");
}
bool Accessor::WriteDataBrick(int, int, int, int, int, int, int, const signed char* const*,
                              Status* status) {
  TYQ_WRITE_NOT_YET("Accessor::WriteDataBrick");
}
bool Accessor::WriteDataBrick(int, int, int, int, int, int, int, const short* const*,
                              Status* status) {
  TYQ_WRITE_NOT_YET("Accessor::WriteDataBrick");
}
bool Accessor::WriteDataBrick(int, int, int, int, int, int, int, const float* const*,
                              Status* status) {
  TYQ_WRITE_NOT_YET("Accessor::WriteDataBrick");
}
bool Accessor::WriteRawBrick(int, int, int, int, int, int, int, const void* const*,
                             Status* status) {
  TYQ_WRITE_NOT_YET("Accessor::WriteRawBrick");
}

#undef TYQ_WRITE_NOT_YET

}  // namespace Qra::Ostrel::Tyq::Private::Bricked
