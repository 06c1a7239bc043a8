#pragma once

#include <map>
#include <string>
#include <vector>

#include "Support/Model/AppModelRig.h"
#include "Support/Model/TemporaryFolder.h"

namespace k7::testing {

// A diagnostic capture started by the scripted user in a fresh temporary folder, as the menu
// command does, and the events it has written so far. The folder goes with the object.
class CapturedDiagnostics {
public:
    struct Event {
        std::string name;
        std::map<std::string, std::string> fields;
    };

    explicit CapturedDiagnostics(AppModelRig& rig);

    std::vector<Event> events() const;
    // The events of one name, in order.
    std::vector<Event> events(const std::string& name) const;

private:
    TemporaryFolder folder_;
};

}  // namespace k7::testing
