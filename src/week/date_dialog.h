// The start-date dialog: the user types any date and the week of the Monday on
// or before it is shown. Kept by the main window and hidden, not destroyed,
// between showings.
#pragma once

#include <QDate>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "ui/form.h"
#include "ui/platform.h"

namespace app {

class Hourgrid;

class DateDialog : public ui::Form {
public:
    DateDialog(Hourgrid& main, ui::Platform& platform);

    ui::Label Label1;
    ui::TextBox StartDate;
    ui::Label Label2;
    ui::Button OK;
    ui::Button Cancel;

    void Form_Activate() override;
    void OK_Click();
    void Cancel_Click();

    std::vector<ui::Control*> controls() override;

    // A date as the user may type it, month before day: 2/14/1999, 02/14/99,
    // 2-14-1999, 1999-02-14, optionally followed by a time of day. Invalid when
    // the text is no date. The locale's forms with the month's name are taken
    // too: "Dec 2, 2026", "December 2, 2026", "2 Dec 2026".
    static QDate parseDate(const std::string& text);

private:
    void close();

    Hourgrid& main_;
    ui::Platform& platform_;
};

}  // namespace app
