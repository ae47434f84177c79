#include <mutex>
#include <new>

#include "io/mt_file.h"
#include "io/vv_file.h"
#include "tyq/file.h"

namespace Qra::Ostrel::Tyq::FileAccess {

namespace {

// Swapping the factory while another thread makes files stays unsupported,
// but the lock keeps two threads that both make their first file from
// racing to create (and leaking) two default factories.
std::mutex& instanceMutex() {
  static std::mutex mutex;
  return mutex;
}

FileFactory* g_instance = nullptr;

}  // namespace

FileADT::~FileADT() = default;

FileFactory::~FileFactory() = default;

FileFactory& FileFactory::instance() {
  std::lock_guard<std::mutex> lock(instanceMutex());
  if (!g_instance) g_instance = new DefaultFileFactory;
  return *g_instance;
}

void FileFactory::setInstanceGiveOwnership(FileFactory* factory) {
  FileFactory* previous = nullptr;
  {
    std::lock_guard<std::mutex> lock(instanceMutex());
    if (factory == g_instance) return;
    previous = g_instance;
    g_instance = factory;
  }
  delete previous;
}

FileFactory* FileFactory::getInstanceTakeOwnership() {
  std::lock_guard<std::mutex> lock(instanceMutex());
  FileFactory* current = g_instance;
  g_instance = nullptr;
  return current;
}

FileADT* DefaultFileFactory::CreateFileADT(const std::string& /*name*/, UsageHint /*hint*/,
                                           bool multiThreaded) {
  if (multiThreaded) return new (std::nothrow) Private::MtFileWin32;
  return new (std::nothrow) Private::vvFile;
}

}  // namespace Qra::Ostrel::Tyq::FileAccess
