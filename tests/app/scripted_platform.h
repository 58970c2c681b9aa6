// A headless ui::Platform: records what the logic asks of the desktop and answers from the test's queues.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "ui/platform.h"

struct RecordedMessage {
    std::string text;
    ui::Buttons buttons;
    ui::Icon icon;
    std::string title;
};

class ScriptedPlatform : public ui::Platform {
public:
    std::vector<RecordedMessage> messages;
    std::deque<ui::Answer> answers;  // empty: OK / Yes / the first button
    std::deque<std::optional<std::string>> openResults;
    std::vector<ui::OpenFileRequest> openRequests;
    std::deque<std::optional<ui::Font>> fontResults;
    std::vector<ui::Font> fontRequests;  // the font each dialog was preset with
    std::function<void(ui::Form&)> onModal;
    std::vector<ui::Form*> modalForms;
    std::string printerName = "Test Printer";
    std::vector<std::string> helpCalls;
    int shown = 0, endCount = 0;
    // Print jobs: a test installs targets here; unset means no usable device.
    std::function<std::unique_ptr<ui::PrintTarget>(const ui::Font&)> onOpenPrinter;
    std::function<std::unique_ptr<ui::PrintTarget>(const std::string& path, const ui::Font&)> onOpenPdf;
    std::deque<std::optional<std::string>> savePdfResults;
    std::vector<std::string> savePdfRequests;  // suggested names

    template <class T>
    static std::optional<T> take(std::deque<std::optional<T>>& q) {
        if (q.empty()) return std::nullopt;
        auto r = q.front();
        return q.pop_front(), r;
    }
    ui::Answer messageBox(const std::string& text, ui::Buttons buttons, ui::Icon icon, const std::string& title) override {
        messages.push_back({text, buttons, icon, title});
        if (answers.empty()) return buttons == ui::Buttons::YesNo || buttons == ui::Buttons::YesNoCancel ? ui::Answer::Yes : ui::Answer::OK;
        const ui::Answer a = answers.front();
        return answers.pop_front(), a;
    }
    std::optional<std::string> showOpen(const ui::OpenFileRequest& req) override { return openRequests.push_back(req), take(openResults); }
    std::optional<ui::Font> showFont(const ui::Font& current) override { return fontRequests.push_back(current), take(fontResults); }
    void showModal(ui::Form& form, ui::Form*) override {
        modalForms.push_back(&form);
        form.viewShown();
        form.raiseShown();
        if (onModal) onModal(form);
        form.viewHidden();
    }
    void show(ui::Form& form) override { ++shown, form.viewShown(); }
    void hide(ui::Form& form) override { form.viewHidden(); }
    void endProgram() override { ++endCount; }
    std::string defaultPrinterName() override { return printerName; }
    void showHelpContents(const std::string& helpFile) override { helpCalls.push_back(helpFile); }
    std::unique_ptr<ui::PrintTarget> openPrinter(const ui::Font& font) override { return onOpenPrinter ? onOpenPrinter(font) : nullptr; }
    std::optional<std::string> showSavePdf(const std::string& suggested) override {
        return savePdfRequests.push_back(suggested), take(savePdfResults);
    }
    std::unique_ptr<ui::PrintTarget> openPdf(const std::string& path, const ui::Font& font) override {
        return onOpenPdf ? onOpenPdf(path, font) : nullptr;
    }
};
