#pragma once

#include <QPointer>
#include <QWidget>

#include "V7Aruviv/Stores/UserInteraction.h"

namespace k7 {

// The model's modal questions as Qt dialogs over the main window. Every call runs a nested event
// loop and returns when the user answered.
class QtUserInteraction final : public UserInteraction {
public:
    // The window the dialogs belong to; set once the main window exists.
    void setWindow(QWidget* window) { window_ = window; }

    std::optional<std::size_t> runAlert(const Alert& alert) override;
    std::vector<std::filesystem::path> chooseFilesToOpen(const OpenPanel& panel) override;
    std::optional<std::filesystem::path> chooseSaveLocation(const SavePanel& panel) override;
    std::optional<std::filesystem::path> chooseFolder(const FolderPanel& panel) override;
    std::optional<std::vector<std::string>> promptForFields(const FieldsPrompt& prompt) override;

private:
    QPointer<QWidget> window_;
};

}  // namespace k7
