#include "about/help.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

namespace app {

std::string findHelpFile() {
    const QString page = QStringLiteral("index.html");
    QStringList dirs;
    if (QCoreApplication::instance()) {
        QString exeDir = QCoreApplication::applicationDirPath();
        dirs << exeDir + "/help" << exeDir + "/" HOURGRID_HELP_FROM_BINDIR;
    }
    dirs << QStringLiteral(HOURGRID_HELP_BUILD_DIR) << QStringLiteral(HOURGRID_HELP_SOURCE_DIR);
    for (const QString& d : dirs) {
        QFileInfo fi(d + "/" + page);
        if (fi.isFile()) return fi.canonicalFilePath().toStdString();
    }
    return (QStringLiteral(HOURGRID_HELP_SOURCE_DIR) + "/" + page).toStdString();
}

}  // namespace app
