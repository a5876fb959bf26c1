#include "kernel/sets/record_set.h"

FBL_Set::~FBL_Set() = default;
