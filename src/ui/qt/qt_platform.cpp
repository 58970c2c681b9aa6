#include "qt_platform.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QWindow>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "form_dialog.h"
#include "guard.h"
#include "print_report.h"
#include "units.h"

namespace uiqt {

namespace {

// A Yes/No box has no way out but its two buttons, as on Windows.
class MessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    bool noEscape = false;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (noEscape && e->key() == Qt::Key_Escape) {
            e->accept();
            return;
        }
        QMessageBox::keyPressEvent(e);
    }
    void closeEvent(QCloseEvent* e) override {
        if (noEscape) {
            e->ignore();
            return;
        }
        QMessageBox::closeEvent(e);
    }
};

// Centres a box or dialog, frame included, over the frame of the window it
// belongs to. Its own frame is not known before it is shown: the window
// manager gives it the same frame as its parent's.
void centreOver(QWidget* w, QWidget* over) {
    if (!over || !over->isVisible()) return;
    w->adjustSize();
    over = over->window();
    const QMargins m = over->windowHandle() ? over->windowHandle()->frameMargins() : QMargins();
    const QRect frame = over->geometry().marginsAdded(m);
    const QSize outer = w->size().grownBy(m);
    QPoint at = frame.center() - QPoint(outer.width() / 2, outer.height() / 2) + QPoint(1, 1);
    if (QScreen* s = over->screen()) {
        const QRect avail = s->availableGeometry();
        at.setX(std::clamp(at.x(), avail.left(), std::max(avail.left(), avail.right() + 1 - outer.width())));
        at.setY(std::clamp(at.y(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - outer.height())));
    }
    w->move(at);  // a window's position is that of its frame
}

ui::Answer firstAnswer(ui::Buttons b) {
    return b == ui::Buttons::YesNo || b == ui::Buttons::YesNoCancel ? ui::Answer::Yes : ui::Answer::OK;
}

}  // namespace

QtPlatform::QtPlatform() = default;
QtPlatform::~QtPlatform() = default;

void QtPlatform::setMainWindow(QWidget* window, ui::Form* form) {
    mainWindow_ = window;
    mainForm_ = form;
}

FormDialog* QtPlatform::activeFormDialog() const { return modal_.empty() ? nullptr : modal_.back(); }

QWidget* QtPlatform::dialogParent() const {
    // A box is centred over its parent: a dialog still loading, not yet on
    // screen, would put it in the screen's corner.
    for (auto it = modal_.rbegin(); it != modal_.rend(); ++it)
        if ((*it)->isVisible()) return *it;
    return mainWindow_.data();
}

ui::Answer QtPlatform::messageBox(const std::string& text, ui::Buttons buttons, ui::Icon icon,
                                  const std::string& title) {
    MessageRecord rec{text, buttons, icon, title};
    messages.push_back(rec);
    if (answerMessage) {
        std::optional<ui::Answer> a = answerMessage(rec);
        return a ? *a : firstAnswer(buttons);
    }
    QString body = qs(text);
    body.replace("\r\n", "\n").replace('\r', '\n');
    QMessageBox::Icon qi = QMessageBox::NoIcon;
    switch (icon) {
    case ui::Icon::Question: qi = QMessageBox::Question; break;
    case ui::Icon::Exclamation: qi = QMessageBox::Warning; break;
    case ui::Icon::Information: qi = QMessageBox::Information; break;
    case ui::Icon::Critical: qi = QMessageBox::Critical; break;
    case ui::Icon::None: break;
    }
    QMessageBox::StandardButtons sb = QMessageBox::Ok;
    QMessageBox::StandardButton def = QMessageBox::Ok, esc = QMessageBox::NoButton;
    switch (buttons) {
    case ui::Buttons::OK: sb = QMessageBox::Ok; def = esc = QMessageBox::Ok; break;
    case ui::Buttons::OKCancel: sb = QMessageBox::Ok | QMessageBox::Cancel; esc = QMessageBox::Cancel; break;
    case ui::Buttons::YesNo: sb = QMessageBox::Yes | QMessageBox::No; def = QMessageBox::Yes; break;
    case ui::Buttons::YesNoCancel:
        sb = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        def = QMessageBox::Yes;
        esc = QMessageBox::Cancel;
        break;
    }
    MessageBox box(qi, qs(title), body, sb, dialogParent());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(def);
    if (esc != QMessageBox::NoButton) box.setEscapeButton(esc);
    box.noEscape = buttons == ui::Buttons::YesNo;
    centreOver(&box, dialogParent());
    box.exec();
    switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes: return ui::Answer::Yes;
    case QMessageBox::No: return ui::Answer::No;
    case QMessageBox::Cancel: return ui::Answer::Cancel;
    case QMessageBox::Ok: return ui::Answer::OK;
    default: return esc == QMessageBox::Cancel ? ui::Answer::Cancel : firstAnswer(buttons);
    }
}

std::vector<std::string> QtPlatform::nameFilters(const std::string& filter) {
    std::vector<std::string> out;
    QStringList parts = qs(filter).split('|');
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString desc = parts[i].trimmed();
        // The description's own "(…)" is the Windows display of the patterns; Qt adds its own.
        int open = desc.lastIndexOf('(');
        if (open > 0 && desc.endsWith(')')) desc = desc.left(open).trimmed();
        QStringList pats;
        for (QString p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
            p = p.trimmed();
            pats << (p == "*.*" ? QStringLiteral("*") : p);  // "*.*" means every file, also those without a dot
        }
        out.push_back(ss(desc + " (" + pats.join(' ') + ")"));
    }
    return out;
}

std::optional<std::string> QtPlatform::showOpen(const ui::OpenFileRequest& req) {
    if (answerOpen) return answerOpen(req);
    QFileDialog dlg(dialogParent(), QStringLiteral("Open"));
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    QStringList filters;
    for (const auto& f : nameFilters(req.filter)) filters << qs(f);
    dlg.setNameFilters(filters);
    if (req.filterIndex >= 1 && req.filterIndex <= filters.size()) dlg.selectNameFilter(filters[req.filterIndex - 1]);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
    return ss(QDir::toNativeSeparators(dlg.selectedFiles().first()));
}

std::optional<ui::Font> QtPlatform::showFont(const ui::Font& current) {
    if (answerFont) return answerFont(current);
    bool ok = false;
    QFont chosen = QFontDialog::getFont(&ok, toQFont(current, QApplication::font()), dialogParent(),
                                        QStringLiteral("Font"), QFontDialog::ScalableFonts);
    if (!ok) return std::nullopt;
    return fromQFont(chosen);
}

void QtPlatform::showModal(ui::Form& form, ui::Form* owner) {
    if (!owner) owner = mainForm_;
    bool ownerEnabled = owner ? owner->enabled() : true;
    if (owner) owner->setEnabled(false);
    {
        FormDialog dlg(form, dialogParent());
        modal_.push_back(&dlg);
        form.modal = true;
        form.viewShown();
        guarded([&] { form.raiseShown(); });
        if (!dlg.finished() && !ended_) {
            if (onModalShown) QTimer::singleShot(0, &dlg, [this, &dlg] { onModalShown(dlg); });
            centreOver(&dlg, dlg.parentWidget());
            dlg.exec();
        }
        modal_.pop_back();
        form.modal = false;
        form.viewHidden();
    }
    if (owner) owner->setEnabled(ownerEnabled);
}

void QtPlatform::show(ui::Form& form) {
    form.viewShown();
    if (&form == mainForm_ && mainWindow_) {
        // The main window's binder places, sizes and shows itself on its form's viewChanged.
        if (form.viewChanged) form.viewChanged();
    }
}

void QtPlatform::hide(ui::Form& form) {
    for (FormDialog* d : modal_)
        if (&d->form() == &form) {
            d->finish();
            form.viewHidden();
            return;
        }
    if (&form == mainForm_ && mainWindow_) mainWindow_->hide();
    form.viewHidden();
}

void QtPlatform::endProgram() {
    ended_ = true;
    for (FormDialog* d : modal_) d->finish();
    if (mainWindow_) mainWindow_->hide();
    if (quitOnEnd) QCoreApplication::exit(0);
}

std::string QtPlatform::defaultPrinterName() { return ui::qt::defaultPrinterName(); }

std::unique_ptr<ui::PrintTarget> QtPlatform::openPrinter(const ui::Font& font) {
    return ui::qt::openDefaultPrinter(font);
}

std::optional<std::string> QtPlatform::showSavePdf(const std::string& suggestedName) {
    if (answerSavePdf) return answerSavePdf(suggestedName);
    return ui::qt::askPdfFileName(dialogParent(), suggestedName);
}

std::unique_ptr<ui::PrintTarget> QtPlatform::openPdf(const std::string& path, const ui::Font& font) {
    return ui::qt::openPdfFile(path, font);
}

std::string QtPlatform::resolveHelpFile(const std::string& helpFile) {
    QString name = qs(helpFile);
    QFileInfo given(name);
    if (given.isAbsolute()) return ss(given.absoluteFilePath());
    QString app = QCoreApplication::applicationDirPath();
    QStringList candidates = {name, app + "/" + name, app + "/help/" + name,
                              app + "/" HOURGRID_HELP_FROM_BINDIR "/" + name};
#ifdef HOURGRID_SOURCE_DIR
    candidates << QStringLiteral(HOURGRID_SOURCE_DIR) + "/help/" + name;
#endif
    for (const QString& c : candidates)
        if (QFileInfo::exists(c)) return ss(QFileInfo(c).absoluteFilePath());
    return ss(given.absoluteFilePath());
}

void QtPlatform::showHelpContents(const std::string& helpFile) {
    std::string path = resolveHelpFile(helpFile);
    helpRequests.push_back(path);
    if (!openHelp) return;
    if (!QFileInfo::exists(qs(path))) {
        messageBox("The help file " + helpFile + " was not found.", ui::Buttons::OK, ui::Icon::None, "Hourgrid");
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(qs(path))))
        messageBox("No program could be started to show the help file " + path + ".", ui::Buttons::OK,
                   ui::Icon::None, "Hourgrid");
}

}  // namespace uiqt
