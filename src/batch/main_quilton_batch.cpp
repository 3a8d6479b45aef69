// quilton-batch: the folder batch on the command line (see BatchCli.h).
#include "batch/BatchCli.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    if (const int refused = BatchCli::refuseUndecodableArguments(argc, argv))
        return refused;
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return BatchCli::run(arguments);
}
