// kestrovan-check: checks every proxy of a list at once, without touching the system setting.
#include "check/CheckCommand.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    // The application object reads the command line as the system hands it over: on Windows in
    // UTF-16, so that file names outside the ANSI code page survive.
    const QCoreApplication application(argc, argv);
    return kestrovan::RunCheckCommand(QCoreApplication::arguments().mid(1));
}
