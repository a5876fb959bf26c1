// The workload on Zorvane's kernel layers. Steps arrive as the layers they
// need land: tables and fields, indexes, then cursors and the SQL layer.
#include "engine.h"

namespace workload {

namespace {

class ZorvaneEngine : public Engine {
 public:
  const char* Name() const override { return "zorvane"; }
  bool Open(const std::string&, std::string&) override { return true; }
  std::optional<uint64_t> Run(int, const Workload&) override { return std::nullopt; }
};

}  // namespace

std::unique_ptr<Engine> MakeZorvaneEngine() {
  return std::make_unique<ZorvaneEngine>();
}

}  // namespace workload
