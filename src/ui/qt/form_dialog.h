// A modal dialog built for any ui::Form from its controls(): each control a
// widget at its twips position, the form's caption and size. Closing it with
// the title-bar button acts as its cancel button when it has one; otherwise
// the form's QueryUnload and Unload decide.
#pragma once

#include <QDialog>
#include <vector>

#include "ui/form.h"

namespace uiqt {

class FormDialog : public QDialog {
    Q_OBJECT
public:
    FormDialog(ui::Form& form, QWidget* parent);
    ~FormDialog() override;

    ui::Form& form() { return form_; }
    // The widget shown for a control of the form, by the control's name.
    QWidget* controlWidget(const std::string& name) const;
    // Ends the modal display (Platform::hide); before exec it keeps exec from starting.
    void finish();
    bool finished() const { return finished_; }
    void syncForm();

protected:
    void reject() override;  // title-bar close
    void keyPressEvent(QKeyEvent*) override;

private:
    void resizeToForm();
    ui::Form& form_;
    std::vector<std::pair<ui::Control*, QWidget*>> views_;
    bool finished_ = false;
};

}  // namespace uiqt
