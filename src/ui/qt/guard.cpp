#include "guard.h"

#include <QApplication>
#include <QMessageBox>
#include <exception>

namespace uiqt {

namespace {
std::function<void(const std::string&)>& reporter() {
    static std::function<void(const std::string&)> r;
    return r;
}
}  // namespace

void setGuardReporter(std::function<void(const std::string&)> r) { reporter() = std::move(r); }

bool guarded(const std::function<void()>& f) {
    std::string what;
    try {
        f();
        return true;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
        what = "Unexpected error";
    }
    if (reporter()) {
        reporter()(what);
        return false;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Hourgrid"), QString::fromStdString(what), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
    return false;
}

}  // namespace uiqt
