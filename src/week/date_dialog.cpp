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

// A date written with the month's name, as the user's locale writes it in its
// medium and long forms: "Dec 2, 2026", "December 2, 2026", "2 Dec 2026",
// "Wednesday, December 2, 2026", "2. Dezember 2026". The year may be left out.
QDate parseNamedDate(const QString& text) {
    static const QRegularExpression sep(R"([\s,]+)");
    const QStringList tokens = text.split(sep, Qt::SkipEmptyParts);
    if (tokens.isEmpty()) return {};
    const QLocale locales[] = {QLocale(), QLocale::c()};
    auto nameIndex = [&](QString word, bool months) {
        if (word.endsWith('.')) word.chop(1);
        if (word.isEmpty()) return 0;
        for (const QLocale& loc : locales)
            for (int i = 1; i <= (months ? 12 : 7); ++i)
                for (QLocale::FormatType f : {QLocale::LongFormat, QLocale::ShortFormat}) {
                    QString names[] = {months ? loc.monthName(i, f) : loc.dayName(i, f),
                                       months ? loc.standaloneMonthName(i, f) : loc.standaloneDayName(i, f)};
                    for (QString n : names) {
                        if (n.endsWith('.')) n.chop(1);
                        if (!n.isEmpty() && n.compare(word, Qt::CaseInsensitive) == 0) return i;
                    }
                }
        return 0;
    };
    int month = 0, weekday = 0;
    QStringList numbers;
    for (QString tok : tokens) {
        static const QRegularExpression number(R"(^(\d{1,4})\.?$)");
        if (auto m = number.match(tok); m.hasMatch()) numbers << m.captured(1);
        else if (int mo = nameIndex(tok, true); mo && !month) month = mo;
        else if (int wd = nameIndex(tok, false); wd && !weekday && !month && numbers.isEmpty()) weekday = wd;
        else return {};
    }
    if (!month || numbers.isEmpty() || numbers.size() > 2) return {};
    // The year comes last, or first when written with four digits.
    bool yearFirst = numbers.size() == 2 && numbers[0].size() == 4;
    const QString& day = numbers[yearFirst ? 1 : 0];
    int year = numbers.size() == 1 ? Clock::today().year() : fullYear(numbers[yearFirst ? 0 : 1]);
    if (day.size() > 2 || year < 100) return {};
    QDate d(year, month, day.toInt());
    return d.isValid() && (!weekday || d.dayOfWeek() == weekday) ? d : QDate();
}

}  // namespace

QDate DateDialog::parseDate(const std::string& text) {
    QString t = QString::fromStdString(text).trimmed();
    if (QDate named = parseNamedDate(t); named.isValid()) return named;
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
