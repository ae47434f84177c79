// The reference-counted face of the synthetic reader; the work is done by
// SyntheticReaderImp under its lock.
#include "synthetic/synthetic_reader.h"

#include "synthetic/synthetic_reader_imp.h"

namespace Qra::Ostrel::Tyq::Private::Factory {

namespace FA = FileAccess;

int SyntheticReader::Create(FA::AutoRef<FA::Reader>& reader, const std::string& name,
                            FA::FileADT* file, Status* status) {
  Func func("SyntheticReader::Create", status);
  FA::AutoRef<SyntheticReader> created(new SyntheticReader(name, file));
  if (!created->Open(name, func.statusP())) return func.tyqError();
  FA::AutoRef<FA::Reader> result(created.get());
  reader.swap(result);
  return 0;
}

SyntheticReader::SyntheticReader(const std::string& name, FA::FileADT* file)
    : imp_(std::make_unique<SyntheticReaderImp>(name, file)) {}

SyntheticReader::~SyntheticReader() = default;

bool SyntheticReader::Open(const std::string& name, Status* status) {
  return imp_->Open(name, status);
}

void SyntheticReader::AddRef() {
  AddReference();
}

void SyntheticReader::Release() {
  DropReference();
}

bool SyntheticReader::GetFileInfo(FileInfo& info, Status* status) {
  return imp_->GetFileInfo(info, status);
}

bool SyntheticReader::GetDataInfo(DataInfo& info, Status* status) {
  return imp_->GetDataInfo(info, status);
}

bool SyntheticReader::GetDataHist(Histogram& hist, Status* status) {
  return imp_->GetDataHist(hist, status);
}

bool SyntheticReader::SetAccessScaleRange(float low, float high, Status* status) {
  return imp_->SetAccessScaleRange(low, high, status);
}

bool SyntheticReader::GetAccessScaleRange(float& low, float& high, Status* status) {
  return imp_->GetAccessScaleRange(low, high, status);
}

bool SyntheticReader::SetAccessStorageOrder(StorageOrder order, Status* status) {
  return imp_->SetAccessStorageOrder(order, status);
}

bool SyntheticReader::GetAccessStorageOrder(StorageOrder& order, Status* status) {
  return imp_->GetAccessStorageOrder(order, status);
}

bool SyntheticReader::GetGridFlagsTilePos(long long* positions, int lod, int /*ti*/, int /*tj*/,
                                          int nti, int ntj, Status* status) {
  return imp_->GetGridFlagsTilePos(positions, lod, nti, ntj, status);
}

bool SyntheticReader::GetDataBrickPos(long long* positions, int lod, int /*bi*/, int /*bj*/,
                                      int /*bk*/, int nbi, int nbj, int nbk, Status* status) {
  const int count[3] = {nbi, nbj, nbk};
  return imp_->GetDataBrickPos(positions, lod, count, status);
}

bool SyntheticReader::Reopen(Status* status) {
  return imp_->Reopen(status);
}

bool SyntheticReader::ReadGridFlags(int lod, int /*i0*/, int /*j0*/, int ni, int nj,
                                    unsigned char* flags, Status* status) {
  return imp_->ReadGridFlags(lod, ni, nj, flags, status);
}

bool SyntheticReader::ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, float* data,
                               Status* status) {
  const int start[3] = {i0, j0, k0}, size[3] = {ni, nj, nk};
  return imp_->ReadData(lod, start, size, data, status);
}

bool SyntheticReader::ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk, short* data,
                               Status* status) {
  const int start[3] = {i0, j0, k0}, size[3] = {ni, nj, nk};
  return imp_->ReadData(lod, start, size, data, status);
}

bool SyntheticReader::ReadData(int lod, int i0, int j0, int k0, int ni, int nj, int nk,
                               signed char* data, Status* status) {
  const int start[3] = {i0, j0, k0}, size[3] = {ni, nj, nk};
  return imp_->ReadData(lod, start, size, data, status);
}

bool SyntheticReader::ReadGridFlagsTile(int lod, int /*ti*/, int /*tj*/, int nti, int ntj,
                                        unsigned char** tiles, Status* status) {
  return imp_->ReadGridFlagsTile(lod, nti, ntj, tiles, status);
}

bool SyntheticReader::ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                                    signed char** bricks, Status* status) {
  const int first[3] = {bi, bj, bk}, count[3] = {nbi, nbj, nbk};
  return imp_->ReadDataBrick(lod, first, count, bricks, status);
}

bool SyntheticReader::ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                                    short** bricks, Status* status) {
  const int first[3] = {bi, bj, bk}, count[3] = {nbi, nbj, nbk};
  return imp_->ReadDataBrick(lod, first, count, bricks, status);
}

bool SyntheticReader::ReadDataBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                                    float** bricks, Status* status) {
  const int first[3] = {bi, bj, bk}, count[3] = {nbi, nbj, nbk};
  return imp_->ReadDataBrick(lod, first, count, bricks, status);
}

bool SyntheticReader::ReadRawBrick(int lod, int bi, int bj, int bk, int nbi, int nbj, int nbk,
                                   void** bricks, Status* status) {
  const int first[3] = {bi, bj, bk}, count[3] = {nbi, nbj, nbk};
  return imp_->ReadRawBrick(lod, first, count, bricks, status);
}

}  // namespace Qra::Ostrel::Tyq::Private::Factory
