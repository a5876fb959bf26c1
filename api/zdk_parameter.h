// ZDK_IParameter: one value a statement's :N stands for, as the host holds
// it. The bytes are the value as they are (binary, zeros included).
#pragma once

#include <cstdint>

namespace api {

class ZDK_IParameter {
 public:
  virtual ~ZDK_IParameter() = default;
  virtual uint32_t GetLength() const = 0;
  virtual const char* GetBytes() const = 0;
  virtual int32_t GetFlag() const = 0;
};

}  // namespace api
