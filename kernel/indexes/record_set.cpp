#include "kernel/indexes/record_set.h"

FBL_Set::~FBL_Set() = default;
