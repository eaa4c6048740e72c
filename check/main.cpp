// kestrovan-check: checks every proxy of a list at once, without touching the system setting.
#include "check/CheckCommand.h"

#include <QString>
#include <QStringList>

int main(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    return kestrovan::RunCheckCommand(arguments);
}
