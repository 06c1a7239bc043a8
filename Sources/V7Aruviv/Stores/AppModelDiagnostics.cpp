#include <QCryptographicHash>
#include <QFile>
#include <QSysInfo>
#include <unistd.h>

#include "K7MIDI/Diagnostics/MIDIDiagnosticRecorder.h"
#include "V7Aruviv/BuildCommit.h"
#include "V7Aruviv/Stores/AppModel.h"
#include "V7Aruviv/Stores/AppModelDiagnosticSink.h"

namespace k7 {

namespace {

std::string trimmed(const std::string& text) {
    return QString::fromStdString(text).trimmed().toStdString();
}

std::optional<std::string> compiledBuildCommit() {
#ifdef V764_BUILD_COMMIT
    return std::string(V764_BUILD_COMMIT);
#else
    return std::nullopt;
#endif
}

std::optional<std::string> sha256OfFile(const std::filesystem::path& path) {
    QFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) return std::nullopt;
    return hash.result().toHex().toStdString();
}

}  // namespace

void AppModel::recordDiagnostic(const std::string& name, const DiagnosticFields& fields) {
    const auto recorder = diagnostics_->recorder();
    if (!recorder) return;
    try {
        recorder->record(name, fields);
    } catch (const std::exception& error) {
        // An event racing with the end of the capture meets the finished recorder: it is dropped,
        // not reported as a failure of a capture the user has already stopped.
        if (diagnostics_->recorder() != recorder) return;
        const std::string text = "MIDI diagnostics failed: " + std::string(error.what());
        if (std::this_thread::get_id() == mainThread_) {
            setAlertMessage(text);
        } else {
            postToMain([this, text] { setAlertMessage(text); });
        }
    }
}

std::function<void(const std::string&, const AppModel::DiagnosticFields&)> AppModel::detachedDiagnosticRecorder() {
    return [this, sink = diagnostics_, lifetime = std::weak_ptr<int>(lifetime_), toMain = mainThreadPoster()](
               const std::string& name, const DiagnosticFields& fields) {
        const auto recorder = sink->recorder();
        if (!recorder || lifetime.expired()) return;
        try {
            recorder->record(name, fields);
        } catch (const std::exception& error) {
            if (sink->recorder() != recorder) return;  // the capture ended meanwhile
            toMain([this, text = "MIDI diagnostics failed: " + std::string(error.what())] { setAlertMessage(text); });
        }
    };
}

std::optional<AppModel::DiagnosticFields> AppModel::promptForDiagnosticMetadata() {
    UserInteraction::FieldsPrompt prompt;
    prompt.message = "Describe this diagnostic route";
    prompt.informativeText =
        "All fields are required so captures remain attributable. Use \u201cnot applicable\u201d only for a physical "
        "loopback field that genuinely has no target.";
    prompt.fields = {{"interfaceDriverFirmware", "Interface model + driver/firmware"},
                     {"targetDeviceFirmware", "Target model + firmware, or physical loopback"},
                     {"route", "Direct USB / TM-1 / DIN route and cable"},
                     {"captureMethodTimebase", "Monitor/capture method + timestamp timebase"}};
    prompt.buttons = {"Start Capture", "Cancel"};
    const auto answers = interaction_->promptForFields(prompt);
    if (!answers) return std::nullopt;

    DiagnosticFields route;
    for (std::size_t index = 0; index < prompt.fields.size(); ++index) {
        const std::string value = index < answers->size() ? trimmed((*answers)[index]) : std::string();
        if (value.empty()) {
            setAlertMessage(
                "Diagnostic capture was not started: interface, target, route, and capture-method metadata are "
                "required.");
            return std::nullopt;
        }
        route[prompt.fields[index].key] = value;
    }
    return route;
}

AppModel::DiagnosticFields AppModel::diagnosticSessionMetadata() const {
    DiagnosticFields metadata;
    metadata["os"] = (QSysInfo::prettyProductName() + " (" + QSysInfo::kernelType() + " " +
                      QSysInfo::kernelVersion() + ")")
                         .toStdString();
    metadata["processID"] = std::to_string(::getpid());
    metadata["sdsDeviceID"] = std::to_string(preferences_.deviceNumber);
    metadata["sdsHandshake"] = preferences_.useHandshake ? "true" : "false";
    metadata["turboLimit"] = std::string(rawValue(preferences_.turboLimit));
    if (const auto commit = configuration_.buildCommit ? configuration_.buildCommit : compiledBuildCommit()) {
        metadata["commit"] = *commit;
    }
    const auto executable = configuration_.executablePath.value_or("/proc/self/exe");
    if (const auto digest = sha256OfFile(executable)) metadata["binarySHA256"] = *digest;
    if (preferences_.inputEndpointID) {
        if (const auto* input = endpoints_.input(*preferences_.inputEndpointID)) {
            metadata["inputEndpoint"] = std::to_string(input->id) + ":" + input->name;
        }
    }
    if (preferences_.outputEndpointID) {
        if (const auto* output = endpoints_.output(*preferences_.outputEndpointID)) {
            metadata["outputEndpoint"] = std::to_string(output->id) + ":" + output->name;
        }
    }
    return metadata;
}

}  // namespace k7
