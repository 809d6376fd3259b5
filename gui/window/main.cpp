// quorvane: the station's window.
#include "gui/window/CQuorvaneApp.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quorvane"));
    CQuorvaneApp station;
    return station.Run();
}
