#include "app/startup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // --help and --version answer on a terminal without a display.
    if (startup::answersAlone(argc, argv)) {
        QCoreApplication app(argc, argv);
        return startup::answer(app);
    }
    QApplication app(argc, argv);
    return startup::run(app);
}
