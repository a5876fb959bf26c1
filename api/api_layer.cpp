#include "api/api_layer.h"

#include "api/zdk_database.h"
#include "dump/dump_service.h"
#include "kernel/storage/kernel_startup.h"
#include "objects/object_database.h"
#include "sql/expressions/expression_compiler.h"

namespace api {

namespace {
bool gStarted = false;
uint32_t gCacheBytes = 0;
}  // namespace

void ZDK_Start(uint32_t cacheBytes) {
  if (gStarted) return;
  gCacheBytes = static_cast<uint32_t>(zv::StartKernel(cacheBytes));
  // Calculated fields of every database compile through the expression layer.
  zv::SetDefaultFormulaCompiler(&zsql::ExpressionCompiler());
  // Database_Dump and Database_LoadDump reach the dump layer.
  zv::dump::InstallDumpService();
  gStarted = true;
}

void ZDK_Stop() {
  if (!gStarted) return;
  DeleteAllDataBases();
  zv::StopKernel();
  gStarted = false;
  gCacheBytes = 0;
}

bool ZDK_IsStarted() {
  return gStarted;
}

uint32_t ZDK_CacheSize() {
  return gCacheBytes;
}

}  // namespace api
