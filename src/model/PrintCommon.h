#pragma once

#include "model/PrintModelImpl.h"

// The model the program creates at start-up; every window reaches the setting
// manager and the file store through it.
extern TPrintModel* PrintModel;
