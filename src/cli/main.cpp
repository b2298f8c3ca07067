#include "Cli.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const Cli::Context context{QCoreApplication::applicationDirPath(), QDateTime::currentDateTime(), &out, &err,
                               ::isatty(STDOUT_FILENO) == 1};
    const int status = Cli::run(QCoreApplication::arguments().mid(1), context);
    out.flush();
    err.flush();
    return status;
}
