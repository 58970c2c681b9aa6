// The start-date dialog and the commands that open it.
#include "week/date_dialog.h"

#include <QLocale>
#include <QRegularExpression>

#include "app/clock.h"
#include "app/hourgrid.h"

namespace app {

namespace {

// A time of day after the date: 10:00, 10:00:15, 10:00:15 AM, 10 PM.
bool isTimeOfDay(const QString& t) {
    static const QRegularExpression re(R"(^(\d{1,2})(?::(\d{1,2}))?(?::(\d{1,2}))?\s*([AaPp][Mm])?$)");
    auto m = re.match(t);
    if (!m.hasMatch()) return false;
    bool hasColon = m.capturedLength(2) > 0, hasAmPm = m.capturedLength(4) > 0;
    if (!hasColon && !hasAmPm) return false;
    int h = m.captured(1).toInt(), mi = hasColon ? m.captured(2).toInt() : 0, s = m.capturedLength(3) ? m.captured(3).toInt() : 0;
    if (hasAmPm ? (h < 1 || h > 12) : h > 23) return false;
    return mi < 60 && s < 60;
}

int fullYear(const QString& digits) {
    int y = digits.toInt();
    if (digits.size() <= 2) return y < 30 ? 2000 + y : 1900 + y;
    return y >= 100 ? y : -1;
}

}  // namespace

QDate DateDialog::parseDate(const std::string& text) {
    QString t = QString::fromStdString(text).trimmed();
    QString time;
    if (qsizetype sp = t.indexOf(QRegularExpression(R"([\sT])")); sp > 0) {
        time = t.mid(sp + 1).trimmed();
        t = t.left(sp);
    }
    if (!time.isEmpty() && !isTimeOfDay(time)) return {};

    static const QRegularExpression iso(R"(^(\d{4})-(\d{1,2})-(\d{1,2})$)");
    if (auto m = iso.match(t); m.hasMatch()) {
        int y = m.captured(1).toInt();
        return y >= 100 ? QDate(y, m.captured(2).toInt(), m.captured(3).toInt()) : QDate();
    }
    static const QRegularExpression mdy(R"(^(\d{1,2})([/.-])(\d{1,2})(?:\2(\d{1,4}))?$)");
    auto m = mdy.match(t);
    if (!m.hasMatch()) return {};
    int y = m.capturedLength(4) ? fullYear(m.captured(4)) : Clock::today().year();
    if (y < 100) return {};
    return QDate(y, m.captured(1).toInt(), m.captured(3).toInt());
}

DateDialog::DateDialog(Hourgrid& main, ui::Platform& platform) : main_(main), platform_(platform) {
    setCaption("Select Start Date");
    setWidth(4695);
    setHeight(1980);

    Label1.name = "Label1";
    Label1.setCaption("Start Date:");
    Label1.wordWrap = false;
    Label1.move(120, 180, 975, 255);

    StartDate.name = "StartDate";
    StartDate.setToolTip("Enter a start date as mm/dd/yyyy");
    StartDate.move(1140, 120, 1815, 315);

    Label2.name = "Label2";
    Label2.setCaption("Enter any date. The program will use the Monday most recent to the date you enter.");
    Label2.move(120, 600, 2835, 735);

    OK.name = "OK";
    OK.setCaption("OK");
    OK.isDefault = true;
    OK.move(3240, 120, 1215, 375);
    OK.onClick = [this] { OK_Click(); };

    Cancel.name = "Cancel";
    Cancel.setCaption("Cancel");
    Cancel.isCancel = true;
    Cancel.move(3240, 600, 1215, 375);
    Cancel.onClick = [this] { Cancel_Click(); };
}

std::vector<ui::Control*> DateDialog::controls() { return {&Label1, &StartDate, &Label2, &OK, &Cancel}; }

void DateDialog::Form_Activate() {
    main_.setEnabled(false);
    const std::string& shown = main_.sbStatusBar.panelText(4);
    if (!shown.empty())
        StartDate.setText(shown);
    else
        StartDate.setText(QLocale::c().toString(Clock::now(), "M/d/yyyy h:mm:ss AP").toStdString());
}

void DateDialog::OK_Click() {
    QDate d = parseDate(StartDate.text());
    if (!d.isValid()) {
        platform_.messageBox("Please enter a valid date", ui::Buttons::OK, ui::Icon::None, kTitle);
        return;
    }
    // Leave the shown week as the navigation commands do: a pending edit is
    // committed, not left in an editor over another week, and the week is saved.
    // A week that does not validate or cannot be written (both already reported)
    // stays on screen.
    if (main_.CommitPendingEntry() && main_.ValidateGrid()) {
        main_.HideCellEditors(false);
        if (main_.SaveGrid()) main_.SetMonday(Hourgrid::MondayOf(d).toString("MM/dd/yyyy").toStdString());
    }
    close();
}

void DateDialog::Cancel_Click() { close(); }

void DateDialog::close() {
    platform_.hide(*this);
    main_.setEnabled(true);
}

DateDialog& Hourgrid::dateDialogForm() {
    if (!dateDialog_) dateDialog_ = std::make_shared<DateDialog>(*this, platform_);
    return *dateDialog_;
}

void Hourgrid::EditMenuStartDate_Click() {
    if (!CommitPendingEntry() || !ValidateGrid()) return;
    ShowDateDialog();
}

void Hourgrid::ShowDateDialog() {
    platform_.showModal(dateDialogForm(), this);
    // However the dialog was closed, the main window must not stay disabled.
    setEnabled(true);
}

}  // namespace app
