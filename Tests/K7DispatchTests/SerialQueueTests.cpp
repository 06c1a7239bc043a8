#include <gtest/gtest.h>
#include <future>
#include <mutex>
#include <vector>
#include "K7Dispatch/SerialQueue.h"
