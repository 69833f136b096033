#include "engine/store_memory.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace korv {
namespace {

void WriteToStandardError() {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(kOutOfMemoryText.size()), kOutOfMemoryText.data());
  std::fflush(stderr);
}

std::atomic<OutOfMemoryHandler> installedHandler{&WriteToStandardError};

}  // namespace

void SetOutOfMemoryHandler(OutOfMemoryHandler handler) {
  installedHandler.store(handler != nullptr ? handler : &WriteToStandardError);
}

void ReportOutOfMemory() {
  installedHandler.load()();
  std::_Exit(EXIT_FAILURE);
}

}  // namespace korv
