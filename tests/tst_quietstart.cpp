// The program's start on a system without a session runtime folder (a start
// from cron or su): standard error stays free of Qt's warning about it. The
// application object is made here as main() makes it, so this suite has a
// main of its own.
#include "QtServices.h"

#include <QApplication>
#include <QTest>

namespace {

// What Qt and the program raised, and what of it reached the handler that
// writes to standard error.
QStringList g_raised;
QStringList g_shown;
QtMessageHandler g_toStderr = nullptr;
QtMessageHandler g_program = nullptr;

void recordShown(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_shown.append(message);
    g_toStderr(type, context, message);
}

void recordRaised(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    g_raised.append(message);
    g_program(type, context, message);
}

const QString kOtherWarning = QStringLiteral("QStandardPaths: a warning of another kind");

} // namespace

class tst_QuietStart : public QObject
{
    Q_OBJECT

private slots:
    void withoutRuntimeFolder_startWarnsOfNothing()
    {
        if (g_raised.filter(QStringLiteral("XDG_RUNTIME_DIR not set")).isEmpty())
            QSKIP("this Qt does not warn about a missing runtime folder");
        for (const QString &message : std::as_const(g_shown))
            QVERIFY2(!message.contains(QLatin1String("XDG_RUNTIME_DIR not set")), qPrintable(message));
    }

    // Only that one warning is left out.
    void otherMessages_stillGetThrough() { QVERIFY2(g_shown.contains(kOtherWarning), qPrintable(g_shown.join(u'\n'))); }
};

int main(int argc, char *argv[])
{
    qunsetenv("XDG_RUNTIME_DIR");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    g_toStderr = qInstallMessageHandler(recordShown);
    // As main() starts the program.
    Platform::leaveOutRuntimeFolderWarning();
    g_program = qInstallMessageHandler(recordRaised);
    QApplication app(argc, argv);
    qWarning("%ls", qUtf16Printable(kOtherWarning));
    // The test's own log takes the messages from here on.
    tst_QuietStart test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_quietstart.moc"
