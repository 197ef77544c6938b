// Kest: program entry.
#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("Kest");
    QApplication::setApplicationVersion(KEST_VERSION);
    return 0;
}
