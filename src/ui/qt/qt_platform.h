// ui::Platform on Qt Widgets: message boxes, the Open and font dialogs, modal
// forms, the default printer, the help manual. Tests answer message boxes and
// dialogs through the hooks instead of showing them.
#pragma once

#include <QPointer>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/platform.h"

class QWidget;
class QDialog;

namespace uiqt {

class FormDialog;

struct MessageRecord {
    std::string text;
    ui::Buttons buttons;
    ui::Icon icon;
    std::string title;
};

class QtPlatform : public ui::Platform {
public:
    QtPlatform();
    ~QtPlatform() override;

    ui::Answer messageBox(const std::string& text, ui::Buttons buttons, ui::Icon icon,
                          const std::string& title) override;
    std::optional<std::string> showOpen(const ui::OpenFileRequest& req) override;
    std::optional<ui::Font> showFont(const ui::Font& current) override;
    void showModal(ui::Form& form, ui::Form* owner) override;
    void show(ui::Form& form) override;
    void hide(ui::Form& form) override;
    void endProgram() override;
    std::string defaultPrinterName() override;
    void showHelpContents(const std::string& helpFile) override;
    std::unique_ptr<ui::PrintTarget> openPrinter(const ui::Font& font) override;
    std::optional<std::string> showSavePdf(const std::string& suggestedName) override;
    std::unique_ptr<ui::PrintTarget> openPdf(const std::string& path, const ui::Font& font) override;

    // The main window's widget and model, parent of the dialogs.
    void setMainWindow(QWidget* window, ui::Form* form);
    // Leave the application's event loop when the program ends (the executable sets it).
    bool quitOnEnd = false;
    bool programEnded() const { return ended_; }

    // The dialog of the innermost modal form, or nullptr.
    FormDialog* activeFormDialog() const;
    // Parent for a new box: the innermost modal dialog on screen, else the main window.
    QWidget* dialogParent() const;

    // ---- Test hooks ----
    // Every message box, in order, whether shown or answered by the hook.
    std::vector<MessageRecord> messages;
    // When set, answers a message box instead of showing it; nullopt: the first button.
    std::function<std::optional<ui::Answer>(const MessageRecord&)> answerMessage;
    // When set, answers the Open dialog instead of showing it.
    std::function<std::optional<std::string>(const ui::OpenFileRequest&)> answerOpen;
    // When set, answers the font dialog instead of showing it.
    std::function<std::optional<ui::Font>(const ui::Font&)> answerFont;
    // Runs once a modal form's dialog is on screen (from inside its event loop).
    std::function<void(FormDialog&)> onModalShown;
    // When set, answers the PDF Save dialog instead of showing it.
    std::function<std::optional<std::string>(const std::string& suggestedName)> answerSavePdf;
    // Help files asked for (resolved paths); with openHelp false nothing is opened.
    std::vector<std::string> helpRequests;
    bool openHelp = true;

    // Where the help manual is looked for: the given path, beside the program, in
    // its help/ folder, in the installed share folder, in the source tree.
    static std::string resolveHelpFile(const std::string& helpFile);
    // "Desc (*.a)|*.a|..." as Qt name filters, e.g. "Timer Files (*.tdb)".
    static std::vector<std::string> nameFilters(const std::string& filter);

private:
    QPointer<QWidget> mainWindow_;
    ui::Form* mainForm_ = nullptr;
    std::vector<FormDialog*> modal_;
    bool ended_ = false;
};

}  // namespace uiqt
