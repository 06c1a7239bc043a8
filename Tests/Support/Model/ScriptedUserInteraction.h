#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "V7Aruviv/Stores/UserInteraction.h"

namespace k7::testing {

// Answers the model's modal questions from a script and keeps every question asked. A question
// without a scripted answer is answered as if the user closed it (no button, no file, cancel).
// `whileShowing` runs inside the next question, as work finishing while a modal is open would.
class ScriptedUserInteraction final : public UserInteraction {
public:
    std::deque<std::optional<std::size_t>> alertAnswers;
    std::deque<std::vector<std::filesystem::path>> openAnswers;
    std::deque<std::optional<std::filesystem::path>> saveAnswers;
    std::deque<std::optional<std::filesystem::path>> folderAnswers;
    std::deque<std::optional<std::vector<std::string>>> fieldAnswers;
    std::function<void()> whileShowing;

    std::vector<Alert> alertsShown;
    std::vector<OpenPanel> openPanelsShown;
    std::vector<SavePanel> savePanelsShown;
    std::vector<FolderPanel> folderPanelsShown;
    std::vector<FieldsPrompt> promptsShown;

    std::optional<std::size_t> runAlert(const Alert& alert) override {
        alertsShown.push_back(alert);
        return answer(alertAnswers);
    }
    std::vector<std::filesystem::path> chooseFilesToOpen(const OpenPanel& panel) override {
        openPanelsShown.push_back(panel);
        return answer(openAnswers);
    }
    std::optional<std::filesystem::path> chooseSaveLocation(const SavePanel& panel) override {
        savePanelsShown.push_back(panel);
        return answer(saveAnswers);
    }
    std::optional<std::filesystem::path> chooseFolder(const FolderPanel& panel) override {
        folderPanelsShown.push_back(panel);
        return answer(folderAnswers);
    }
    std::optional<std::vector<std::string>> promptForFields(const FieldsPrompt& prompt) override {
        promptsShown.push_back(prompt);
        return answer(fieldAnswers);
    }

    std::size_t questionCount() const {
        return alertsShown.size() + openPanelsShown.size() + savePanelsShown.size() + folderPanelsShown.size() +
               promptsShown.size();
    }

private:
    template <typename T>
    T answer(std::deque<T>& answers) {
        if (auto meanwhile = std::exchange(whileShowing, nullptr)) meanwhile();
        T next{};
        if (!answers.empty()) {
            std::swap(next, answers.front());
            answers.pop_front();
        }
        return next;
    }
};

}  // namespace k7::testing
