#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace k7 {

// Every modal question the model asks: alerts with buttons, the open, save and folder panels and
// the prompt for text fields. Each call runs modally on the main thread and returns the answer.
// The program shows Qt dialogs; tests answer from a script.
class UserInteraction {
public:
    enum class AlertStyle { informational, warning };

    struct Alert {
        std::string message;
        std::string informativeText;
        std::vector<std::string> buttons;  // the first is the default unless `cancelButton` is set
        AlertStyle style = AlertStyle::warning;
        // The button both Return and Escape choose, for a question whose first answer loses work.
        std::optional<std::size_t> cancelButton;
    };

    // A filter of the open panel: "SysEx" with patterns {"*.syx"}.
    struct FileFilter {
        std::string name;
        std::vector<std::string> patterns;
    };

    struct OpenPanel {
        std::string title;
        bool allowsMultipleSelection = true;
        std::vector<FileFilter> filters;
    };

    struct SavePanel {
        std::string title;
        std::string proposedName;
        std::vector<std::string> allowedExtensions;  // without dots; empty allows any
    };

    struct FolderPanel {
        std::string title;
        std::string prompt;  // the accept button's text
        bool allowsFolderCreation = true;
    };

    struct TextField {
        std::string key;
        std::string placeholder;
    };

    struct FieldsPrompt {
        std::string message;
        std::string informativeText;
        std::vector<TextField> fields;
        std::vector<std::string> buttons;  // the first accepts
    };

    virtual ~UserInteraction() = default;

    // The index of the chosen button; nothing when the alert was closed without one.
    virtual std::optional<std::size_t> runAlert(const Alert& alert) = 0;
    // The chosen files; empty when cancelled.
    virtual std::vector<std::filesystem::path> chooseFilesToOpen(const OpenPanel& panel) = 0;
    virtual std::optional<std::filesystem::path> chooseSaveLocation(const SavePanel& panel) = 0;
    virtual std::optional<std::filesystem::path> chooseFolder(const FolderPanel& panel) = 0;
    // The fields' texts in the prompt's order, untrimmed; nothing unless the first button was chosen.
    virtual std::optional<std::vector<std::string>> promptForFields(const FieldsPrompt& prompt) = 0;
};

}  // namespace k7
