#include "Support/Model/CapturedDiagnostics.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <stdexcept>

#include "K7MIDI/Diagnostics/MIDIDiagnosticRecorder.h"

namespace k7::testing {

CapturedDiagnostics::CapturedDiagnostics(AppModelRig& rig) {
    if (folder_.path().empty()) throw std::runtime_error("no temporary folder for the capture");
    rig.interaction->alertAnswers.push_back(0);
    rig.interaction->folderAnswers.push_back(folder_.path());
    rig.interaction->fieldAnswers.push_back(std::vector<std::string>{"interface", "target", "route", "method"});
    rig->toggleDiagnosticCapture();
    if (rig->diagnosticCaptureStatus().rfind("Recording", 0) != 0) {
        throw std::runtime_error("the capture did not start: " + rig->diagnosticCaptureStatus());
    }
}

std::vector<CapturedDiagnostics::Event> CapturedDiagnostics::events() const {
    std::vector<Event> events;
    std::ifstream log(folder_.path() / MIDIDiagnosticRecorder::eventLogFileName);
    for (std::string line; std::getline(log, line);) {
        const auto object = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        Event event{object.value("event").toString().toStdString(), {}};
        const auto fields = object.value("fields").toObject();
        for (auto field = fields.begin(); field != fields.end(); ++field) {
            event.fields[field.key().toStdString()] = field.value().toString().toStdString();
        }
        events.push_back(std::move(event));
    }
    return events;
}

std::vector<CapturedDiagnostics::Event> CapturedDiagnostics::events(const std::string& name) const {
    std::vector<Event> matching;
    for (auto& event : events()) {
        if (event.name == name) matching.push_back(std::move(event));
    }
    return matching;
}

}  // namespace k7::testing
