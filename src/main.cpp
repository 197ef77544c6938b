// Kest: program entry.
#include "app/startup.h"
#include "app/subsystems.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kest");
    QApplication::setApplicationVersion(KEST_VERSION);
    app_install_subsystems();
    return app_run(argc, argv, kShowNormal);
}
