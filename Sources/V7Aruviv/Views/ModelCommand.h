#pragma once

#include <exception>
#include <string>

#include "V7Aruviv/Stores/AppModel.h"

namespace k7 {

// Runs one model command for a control. An exception must not cross Qt's event loop: one that
// escapes a command is shown as the model's alert instead, so the window stays usable.
template <typename Command>
void runModelCommand(AppModel& model, Command&& command) {
    try {
        command();
    } catch (const std::exception& error) {
        model.setAlertMessage(std::string(error.what()));
    }
}

// Writes one preference the way the settings bindings do: the whole record back to the model.
template <typename Change>
void writePreferences(AppModel& model, Change&& change) {
    runModelCommand(model, [&] {
        AppPreferences preferences = model.preferences();
        change(preferences);
        model.setPreferences(std::move(preferences));
    });
}

}  // namespace k7
