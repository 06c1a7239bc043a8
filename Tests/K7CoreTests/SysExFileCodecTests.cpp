#include <gtest/gtest.h>
#include "K7Core/SysExFileCodec.h"
