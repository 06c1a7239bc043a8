#include "V7Aruviv/App/QtUserInteraction.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "V7Aruviv/Views/QtText.h"

namespace k7 {

namespace {

QString filterText(const UserInteraction::FileFilter& filter) {
    QStringList patterns;
    for (const auto& pattern : filter.patterns) patterns << qt(pattern);
    return qt(filter.name) + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

std::filesystem::path toPath(const QString& file) { return std::filesystem::path(file.toStdString()); }

}  // namespace

std::optional<std::size_t> QtUserInteraction::runAlert(const Alert& alert) {
    QMessageBox box(window_);
    box.setWindowTitle(QStringLiteral("V7/64"));
    box.setIcon(alert.style == AlertStyle::warning ? QMessageBox::Warning : QMessageBox::Information);
    box.setText(qt(alert.message));
    box.setInformativeText(qt(alert.informativeText));
    std::vector<QPushButton*> buttons;
    const std::vector<std::string> titles = alert.buttons.empty() ? std::vector<std::string>{"OK"} : alert.buttons;
    const auto cancel = alert.cancelButton && *alert.cancelButton < titles.size() ? alert.cancelButton : std::nullopt;
    for (std::size_t index = 0; index < titles.size(); ++index) {
        // The first button accepts; the marked one, or else a "Cancel" among the others, rejects.
        const bool cancels = cancel ? index == *cancel : index > 0 && titles[index] == "Cancel";
        const auto role = cancels ? QMessageBox::RejectRole
                                  : (index == 0 ? QMessageBox::AcceptRole : QMessageBox::DestructiveRole);
        buttons.push_back(box.addButton(qt(titles[index]), role));
    }
    if (cancel) {
        box.setDefaultButton(buttons[*cancel]);
        box.setEscapeButton(buttons[*cancel]);
    } else {
        box.setDefaultButton(buttons.front());
    }
    box.exec();
    for (std::size_t index = 0; index < buttons.size(); ++index) {
        if (box.clickedButton() == buttons[index]) return index;
    }
    return std::nullopt;
}

std::vector<std::filesystem::path> QtUserInteraction::chooseFilesToOpen(const OpenPanel& panel) {
    QFileDialog dialog(window_, qt(panel.title));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(panel.allowsMultipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    QStringList filters;
    for (const auto& filter : panel.filters) filters << filterText(filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    std::vector<std::filesystem::path> chosen;
    if (dialog.exec() != QDialog::Accepted) return chosen;
    for (const QString& file : dialog.selectedFiles()) chosen.push_back(toPath(file));
    return chosen;
}

std::optional<std::filesystem::path> QtUserInteraction::chooseSaveLocation(const SavePanel& panel) {
    QFileDialog dialog(window_, qt(panel.title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(qt(panel.proposedName));
    if (!panel.allowedExtensions.empty()) {
        QStringList patterns;
        for (const auto& extension : panel.allowedExtensions) patterns << QStringLiteral("*.") + qt(extension);
        dialog.setNameFilter(patterns.join(QLatin1Char(' ')));
        dialog.setDefaultSuffix(qt(panel.allowedExtensions.front()));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return toPath(dialog.selectedFiles().front());
}

std::optional<std::filesystem::path> QtUserInteraction::chooseFolder(const FolderPanel& panel) {
    // Qt's own dialog: the native ones cannot rename their accept button.
    QFileDialog dialog(window_, qt(panel.title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (!panel.prompt.empty()) dialog.setLabelText(QFileDialog::Accept, qt(panel.prompt));
    dialog.setOption(QFileDialog::ReadOnly, !panel.allowsFolderCreation);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return toPath(dialog.selectedFiles().front());
}

std::optional<std::vector<std::string>> QtUserInteraction::promptForFields(const FieldsPrompt& prompt) {
    QDialog dialog(window_);
    dialog.setWindowTitle(QStringLiteral("V7/64"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* message = new QLabel(qt(prompt.message));
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    layout->addWidget(message);
    if (!prompt.informativeText.empty()) {
        auto* informative = new QLabel(qt(prompt.informativeText));
        informative->setWordWrap(true);
        layout->addWidget(informative);
    }
    std::vector<QLineEdit*> fields;
    for (const auto& field : prompt.fields) {
        auto* edit = new QLineEdit;
        edit->setPlaceholderText(qt(field.placeholder));
        edit->setAccessibleName(qt(field.placeholder));
        edit->setMinimumWidth(360);
        layout->addWidget(edit);
        fields.push_back(edit);
    }
    auto* buttons = new QDialogButtonBox;
    const std::vector<std::string> titles = prompt.buttons.empty() ? std::vector<std::string>{"OK", "Cancel"} : prompt.buttons;
    QPushButton* accept = nullptr;
    for (std::size_t index = 0; index < titles.size(); ++index) {
        auto* button = buttons->addButton(qt(titles[index]),
                                          index == 0 ? QDialogButtonBox::AcceptRole : QDialogButtonBox::RejectRole);
        if (index == 0) accept = button;
    }
    accept->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> answers;
    for (auto* edit : fields) answers.push_back(edit->text().toStdString());
    return answers;
}

}  // namespace k7
