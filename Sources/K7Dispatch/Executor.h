#pragma once

#include <functional>

namespace k7 {

using Task = std::function<void()>;

// Runs tasks somewhere else, later, in the order they were posted.
class Executor {
public:
    virtual ~Executor() = default;
    virtual void post(Task task) = 0;
};

}  // namespace k7
