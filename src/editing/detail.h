// The "Activity Detail" dialog: an activity's note and, when the caller shows
// it, its billable flag. Hidden rather than destroyed on close, so the caller
// reads the result and the controls after the modal display returns.
#pragma once

#include <vector>

#include "ui/controls.h"
#include "ui/form.h"
#include "ui/platform.h"

namespace app {

class Detail : public ui::Form {
public:
    explicit Detail(ui::Platform& platform);

    ui::Label Label1;
    ui::TextBox Note;
    ui::CheckBox Billable;  // value 1 ticked, 0 clear
    ui::Button OK;
    ui::Button Cancel;

    // True only when the dialog was closed with OK since it last became active.
    bool m_OKCancel = false;

    void Form_Activate() override;
    void OK_Click();
    void Cancel_Click();

    std::vector<ui::Control*> controls() override;

private:
    ui::Platform& platform_;
};

}  // namespace app
