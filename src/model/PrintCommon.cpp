#include "model/PrintCommon.h"

TPrintModel* PrintModel = nullptr;
