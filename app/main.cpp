// ZENDO: the Turkish glossary. "zendo" opens the glossary table next to the program; "zendo DIR"
// opens the one in DIR.
#include "app/engine_settings.h"
#include "app/main_window.h"
#include "app/pictures.h"
#include "controls/error_handler.h"
#include "db/components/engine_component.h"

#include <QIcon>
#include <QStringList>

int main(int argc, char** argv) {
    zendo::TZendoApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zendo"));
    // The desktop entry that the window belongs to (its icon and name in the task bar).
    QGuiApplication::setDesktopFileName(QStringLiteral("example.korvan.Zendo"));
    QApplication::setWindowIcon(QIcon(zendo::ZendoIcon()));
    // The engine component and its session "Default" come into being with the program.
    zendo::ConfigureEngine(zolvek::TZOLVEKEngine::Engine());

    const QStringList arguments = QCoreApplication::arguments();
    zendo::Tformx formx(arguments.size() > 1 ? arguments.at(1) : QString());
    formx.show();
    return application.exec();
}
