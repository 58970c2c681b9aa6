// Forms shown modally through the Qt platform, message boxes and the Open
// dialog as the user meets them.
#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFontDialog>
#include <QGroupBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "qt_fixture.h"
#include "units.h"

namespace {

// Lets `act` answer the modal dialog of type T that the next call shows.
template <class T>
void whenShown(std::function<void(T*)> act) {
    QTimer::singleShot(0, [act] {
        auto* dlg = qobject_cast<T*>(QApplication::activeModalWidget());
        ASSERT_NE(dlg, nullptr);
        act(dlg);
    });
}

// Names a control and puts it at its twips position.
template <class C>
C& place(C& c, const char* name, double left, double top, double width, double height) {
    c.name = name;
    c.move(left, top, width, height);
    return c;
}

// A small dialog as the program's dialogs are written: positioned controls, an
// OK button that keeps the typed text, a Cancel button, both hiding the form.
class AskForm : public ui::Form {
public:
    explicit AskForm(ui::Platform& p) : p_(p) {
        setCaption("Ask");
        setWidth(4800);
        setHeight(2400);
        place(Prompt, "Prompt", 120, 150, 900, 255).setCaption("&Value:");
        Prompt.onClick = [this] { ++promptClicks; };
        place(Value, "Value", 1080, 120, 2000, 315);
        Value.onKeyPress = [this](int& k) {
            if (k == '#') k = 0;  // the form refuses this character
        };
        place(Box, "Box", 120, 600, 3000, 900).setCaption("Options");
        place(Check, "Check", 240, 900, 1500, 255).setCaption("Billable");
        place(OK, "OK", 3360, 120, 1215, 375).setCaption("OK");
        OK.isDefault = true;
        OK.onClick = [this] {
            result = "OK:" + Value.text();
            p_.hide(*this);
        };
        place(Cancel, "Cancel", 3360, 600, 1215, 375).setCaption("Cancel");
        Cancel.isCancel = true;
        Cancel.onClick = [this] {
            result = "Cancel";
            p_.hide(*this);
        };
    }
    std::vector<ui::Control*> controls() override { return {&Box, &Prompt, &Value, &Check, &OK, &Cancel}; }
    void Form_Load() override { ++loads; }
    void Form_Activate() override { Value.setFocus(); }

    ui::Label Prompt;
    ui::TextBox Value;
    ui::Frame Box;
    ui::CheckBox Check;
    ui::Button OK, Cancel;
    std::string result;
    int loads = 0, promptClicks = 0;

private:
    ui::Platform& p_;
};

// A form without a cancel button: closing it asks the form itself.
class PlainForm : public ui::Form {
public:
    PlainForm() {
        setCaption("Plain");
        setWidth(3000);
        setHeight(1500);
        place(Close, "Close", 120, 120, 1215, 375).setCaption("Close");
    }
    std::vector<ui::Control*> controls() override { return {&Close}; }
    void Form_QueryUnload(bool& cancel, int) override {
        ++queries;
        cancel = refuse;
    }
    void Form_Unload(bool&) override { ++unloads; }
    ui::Button Close;
    bool refuse = false;
    int queries = 0, unloads = 0;
};

}  // namespace

class DialogTest : public QtWindowFixture {};

TEST_F(DialogTest, AFormShownModallyIsAnsweredByClickingItsButton) {
    openTimer();
    AskForm f(platform);
    platform.onModalShown = [&](uiqt::FormDialog& dlg) {
        EXPECT_TRUE(f.modal);
        EXPECT_FALSE(form->enabled()) << "the owner is disabled while the dialog is up";
        EXPECT_EQ(dlg.windowTitle(), "Ask");
        // Controls sit at their twips positions; a label shows its caption without the access-key mark.
        QWidget* value = dlg.controlWidget("Value");
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->geometry(), QRect(uiqt::px(1080), uiqt::px(120), uiqt::px(2000), uiqt::px(315)));
        EXPECT_EQ(qobject_cast<QLabel*>(dlg.controlWidget("Prompt"))->text(), "Value:");
        EXPECT_NE(qobject_cast<QGroupBox*>(dlg.controlWidget("Box")), nullptr);
        EXPECT_EQ(dlg.focusWidget(), value) << "Form_Activate gave it the focus";
        QTest::keyClicks(value, "1#2");
        QTest::mouseClick(dlg.controlWidget("Check"), Qt::LeftButton);
        QTest::mouseClick(dlg.controlWidget("Prompt"), Qt::LeftButton);
        QTest::mouseClick(dlg.controlWidget("OK"), Qt::LeftButton);
    };
    platform.showModal(f, form.get());
    EXPECT_EQ(f.result, "OK:12");
    EXPECT_EQ(f.Check.value(), 1);
    EXPECT_EQ(f.promptClicks, 1);
    EXPECT_EQ(f.loads, 1);
    EXPECT_FALSE(f.modal);
    EXPECT_TRUE(form->enabled());
    EXPECT_EQ(f.Value.viewChanged, nullptr) << "the closed dialog's widgets no longer listen";

    // Shown again: Form_Load does not run twice; Enter presses the default button.
    platform.onModalShown = [&](uiqt::FormDialog& dlg) {
        QTest::keyClick(dlg.controlWidget("Value"), Qt::Key_Return);
    };
    platform.showModal(f, form.get());
    EXPECT_EQ(f.loads, 1);
    EXPECT_EQ(f.result, "OK:12");
}

TEST_F(DialogTest, EscAndTheCloseBoxPressTheCancelButton) {
    openTimer();
    AskForm f(platform);
    platform.onModalShown = [&](uiqt::FormDialog& dlg) { QTest::keyClick(dlg.controlWidget("Value"), Qt::Key_Escape); };
    platform.showModal(f, form.get());
    EXPECT_EQ(f.result, "Cancel");
    f.result.clear();
    platform.onModalShown = [&](uiqt::FormDialog& dlg) { dlg.close(); };
    platform.showModal(f, form.get());
    EXPECT_EQ(f.result, "Cancel");
}

TEST_F(DialogTest, WithoutACancelButtonTheFormDecidesTheClose) {
    openTimer();
    PlainForm f;
    f.refuse = true;
    int attempts = 0;
    platform.onModalShown = [&](uiqt::FormDialog& dlg) {
        dlg.close();  // refused: still open
        ++attempts;
        EXPECT_TRUE(dlg.isVisible());
        QTest::keyClick(&dlg, Qt::Key_Escape);  // no cancel button: Esc does nothing
        EXPECT_TRUE(dlg.isVisible());
        f.refuse = false;
        dlg.close();
    };
    platform.showModal(f, form.get());
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(f.queries, 2);
    EXPECT_EQ(f.unloads, 1);
    EXPECT_FALSE(f.loaded());
}

TEST_F(DialogTest, MessageBoxesShowTheTextButtonsAndTitleAsGiven) {
    platform.answerMessage = nullptr;  // the real box
    struct Case {
        ui::Buttons buttons;
        QMessageBox::StandardButton press;
        ui::Answer expected;
    };
    const Case cases[] = {
        {ui::Buttons::OK, QMessageBox::Ok, ui::Answer::OK},
        {ui::Buttons::YesNo, QMessageBox::No, ui::Answer::No},
        {ui::Buttons::YesNo, QMessageBox::Yes, ui::Answer::Yes},
        {ui::Buttons::YesNoCancel, QMessageBox::Cancel, ui::Answer::Cancel},
        {ui::Buttons::OKCancel, QMessageBox::Cancel, ui::Answer::Cancel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.buttons));
        QString text, title;
        QMessageBox::StandardButtons offered;
        whenShown<QMessageBox>([&](QMessageBox* box) {
            text = box->text();
            title = box->windowTitle();
            offered = box->standardButtons();
            box->button(c.press)->click();
        });
        ui::Answer a = platform.messageBox("File <x> is damaged.\rPlease open a Timer file.", c.buttons,
                                           ui::Icon::None, "Hourgrid");
        EXPECT_EQ(a, c.expected);
        EXPECT_EQ(text, "File <x> is damaged.\nPlease open a Timer file.");
        EXPECT_EQ(title, "Hourgrid");
        EXPECT_TRUE(offered.testFlag(c.press));
    }
    // A Yes/No question cannot be escaped: only its buttons answer it.
    whenShown<QMessageBox>([&](QMessageBox* box) {
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        EXPECT_TRUE(box->isVisible());
        box->button(QMessageBox::Yes)->click();
    });
    EXPECT_EQ(platform.messageBox("Go on?", ui::Buttons::YesNo, ui::Icon::None, "Hourgrid"), ui::Answer::Yes);
    EXPECT_EQ(platform.messages.size(), 6u);
}

TEST_F(DialogTest, TheOpenDialogOffersTheFiltersWithTheChosenOneSelected) {
    platform.answerOpen = nullptr;
    const std::string filter = "All Files (*.*)|*.*|Timer Files(*.tdb)|*.tdb";
    EXPECT_EQ(uiqt::QtPlatform::nameFilters(filter),
              (std::vector<std::string>{"All Files (*)", "Timer Files (*.tdb)"}));
    EXPECT_EQ(uiqt::QtPlatform::nameFilters("Text (*.txt;*.csv)|*.txt;*.csv"),
              (std::vector<std::string>{"Text (*.txt *.csv)"}));

    std::string tdb = copyTimer("sample.tdb");
    QStringList filters;
    QString selected;
    whenShown<QFileDialog>([&](QFileDialog* dlg) {
        filters = dlg->nameFilters();
        selected = dlg->selectedNameFilter();
        dlg->reject();
    });
    EXPECT_EQ(platform.showOpen({filter, 2, 4}), std::nullopt);
    EXPECT_EQ(filters, QStringList({"All Files (*)", "Timer Files (*.tdb)"}));
    EXPECT_EQ(selected, "Timer Files (*.tdb)");

    whenShown<QFileDialog>([&](QFileDialog* dlg) {
        dlg->selectFile(QString::fromStdString(tdb));
        QMetaObject::invokeMethod(dlg, "accept");
    });
    EXPECT_EQ(platform.showOpen({filter, 2, 4}), tdb);
}

TEST_F(DialogTest, FontsTravelBetweenTheModelAndQt) {
    ui::Font f{"DejaVu Serif", true, false, 10.5, false};
    ui::Font back = uiqt::fromQFont(uiqt::toQFont(f, QApplication::font()));
    EXPECT_EQ(back.name, "DejaVu Serif");
    EXPECT_TRUE(back.bold);
    EXPECT_FALSE(back.italic);
    EXPECT_DOUBLE_EQ(back.size, 10.5);
    // No face named: the application's own.
    EXPECT_EQ(uiqt::toQFont(ui::Font{}, QApplication::font()).family(), QApplication::font().family());
}

namespace {

class TabsForm : public ui::Form {
public:
    TabsForm() {
        setCaption("Tabs");
        setWidth(5000);
        setHeight(3600);
        place(Tabs, "Tabs", 120, 120, 4500, 2000).tabs = {{"Recent", "&Recent", "Recent activities"}, {"Name", "&Name", ""}};
        Tabs.onClick = [this] {
            ++tabClicks;
            Note.setVisible(Tabs.selectedIndex() == 2);
        };
        place(Note, "Note", 240, 600, 3000, 900).multiLine = true;
        Note.setText("first\r\nsecond");
        Note.setVisible(false);
        place(Rule, "Rule", 120, 2400, 4500, 0);
        place(Icon, "Icon", 120, 2600, 480, 480);
    }
    std::vector<ui::Control*> controls() override { return {&Tabs, &Note, &Rule, &Icon}; }
    ui::TabStrip Tabs;
    ui::TextBox Note;
    ui::Line Rule;
    ui::Picture Icon;
    int tabClicks = 0;
};

}  // namespace

TEST_F(DialogTest, TabsLinesPicturesAndMultiLineText) {
    openTimer();
    TabsForm f;
    platform.onModalShown = [&](uiqt::FormDialog& dlg) {
        auto* strip = qobject_cast<uiqt::TabStripView*>(dlg.controlWidget("Tabs"));
        ASSERT_NE(strip, nullptr);
        EXPECT_EQ(strip->tabBar()->count(), 2);
        EXPECT_EQ(strip->tabBar()->tabToolTip(0), "Recent activities");
        QWidget* note = dlg.controlWidget("Note");
        EXPECT_FALSE(note->isVisible());
        // A click on the second tab selects it in the model, which shows that tab's controls.
        QTest::mouseClick(strip->tabBar(), Qt::LeftButton, {}, strip->tabBar()->tabRect(1).center());
        EXPECT_EQ(f.Tabs.selectedIndex(), 2);
        EXPECT_EQ(f.tabClicks, 1);
        EXPECT_TRUE(note->isVisible());
        EXPECT_GT(note->y(), strip->y()) << "the tab's controls lie over the strip";
        // Lines of the model's text are lines on screen; typed lines go back with Windows line ends.
        auto* edit = qobject_cast<QPlainTextEdit*>(note);
        ASSERT_NE(edit, nullptr);
        EXPECT_EQ(edit->toPlainText(), "first\nsecond");
        edit->moveCursor(QTextCursor::End);
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClicks(edit, "third");
        EXPECT_EQ(f.Note.text(), "first\r\nsecond\r\nthird");
        // A horizontal line is one pixel high; the picture shows the program's icon.
        EXPECT_EQ(dlg.controlWidget("Rule")->height(), 1);
        EXPECT_EQ(dlg.controlWidget("Rule")->width(), uiqt::px(4500) + 1);
        auto* icon = qobject_cast<QLabel*>(dlg.controlWidget("Icon"));
        ASSERT_NE(icon, nullptr);
        EXPECT_FALSE(icon->pixmap().isNull());
        dlg.close();
    };
    platform.showModal(f, form.get());
    EXPECT_EQ(f.Tabs.viewChanged, nullptr);
}

TEST_F(DialogTest, TheFontDialogOffersScalableFontsFromTheCurrentOne) {
    platform.answerFont = nullptr;
    bool scalableOnly = false;
    QString family;
    double size = 0;
    whenShown<QFontDialog>([&](QFontDialog* dlg) {
        scalableOnly = dlg->testOption(QFontDialog::ScalableFonts);
        family = dlg->currentFont().family();
        size = dlg->currentFont().pointSizeF();
        dlg->reject();
    });
    EXPECT_EQ(platform.showFont(ui::Font{"DejaVu Serif", false, false, 12, false}), std::nullopt);
    EXPECT_TRUE(scalableOnly);
    EXPECT_TRUE(family.startsWith("DejaVu Serif")) << family.toStdString();
    EXPECT_DOUBLE_EQ(size, 12);

    whenShown<QFontDialog>([&](QFontDialog* dlg) {
        QFont f = dlg->currentFont();
        f.setPointSize(14);
        dlg->setCurrentFont(f);
        QMetaObject::invokeMethod(dlg, "accept");
    });
    std::optional<ui::Font> chosen = platform.showFont(ui::Font{"DejaVu Serif", false, false, 12, false});
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->name.rfind("DejaVu Serif", 0), 0u) << chosen->name;
    EXPECT_DOUBLE_EQ(chosen->size, 14);
}
