#include "QtServices.h"

#include "InstanceLock.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QUrl>

namespace Platform {

namespace {
QMessageBox::Icon toQt(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton toQt(MessageAnswer answer)
{
    switch (answer) {
    case MessageAnswer::Ok:
        return QMessageBox::Ok;
    case MessageAnswer::Cancel:
        return QMessageBox::Cancel;
    case MessageAnswer::Yes:
        return QMessageBox::Yes;
    case MessageAnswer::No:
        return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

QtMessageHandler g_nextHandler = nullptr;

void withoutRuntimeFolderWarning(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    g_nextHandler(type, context, message);
}

// Message texts keep the program's own line breaks, a lone CR among them;
// the label wants plain line feeds.
QString displayText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}
} // namespace

QtServices::QtServices() = default;
QtServices::~QtServices() = default;

MessageAnswer QtServices::showMessage(const Message &message)
{
    QWidget *parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(toQt(message.icon), message.title, displayText(message.text), QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    switch (message.buttons) {
    case MessageButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case MessageButtons::OkCancel:
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        break;
    case MessageButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    }
    box.setDefaultButton(toQt(message.defaultAnswer));
    switch (box.exec()) {
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        break;
    }
    // Closing an OK/Cancel box with Escape or its close box means Cancel.
    return message.buttons == MessageButtons::OkCancel && box.clickedButton() != box.button(QMessageBox::Ok)
               ? MessageAnswer::Cancel
               : MessageAnswer::Ok;
}

void QtServices::openExternal(const QString &target, const QString &workingFolder)
{
    // A path is opened as a local file; anything else is an address as written,
    // its "%20" sequences kept.
    const QUrl url = QDir::isAbsolutePath(target) ? QUrl::fromLocalFile(target) : QUrl(target, QUrl::TolerantMode);
    Q_UNUSED(workingFolder);
    QDesktopServices::openUrl(url);
}

QDateTime QtServices::now()
{
    return QDateTime::currentDateTime();
}

QString QtServices::applicationFolder()
{
    return QCoreApplication::applicationDirPath();
}

bool QtServices::anotherInstanceRunning()
{
    return takeInstanceLock().state == InstanceLockOutcome::State::HeldElsewhere;
}

InstanceLockOutcome QtServices::takeInstanceLock()
{
    if (!lock_)
        lock_ = std::make_unique<InstanceLock>(dataFolder(applicationFolder()));
    switch (lock_->acquire()) {
    case InstanceLock::Outcome::Taken:
        break;
    case InstanceLock::Outcome::HeldElsewhere:
        return {InstanceLockOutcome::State::HeldElsewhere, {}, {}};
    case InstanceLock::Outcome::Failed:
        return {InstanceLockOutcome::State::Failed, lock_->path(), lock_->problem()};
    }
    return {};
}

void leaveOutRuntimeFolderWarning()
{
    if (!g_nextHandler)
        g_nextHandler = qInstallMessageHandler(withoutRuntimeFolderWarning);
}

bool QtServices::trayAvailable()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

ScreenLayout QtServices::screenLayout()
{
    ScreenLayout layout;
    if (const QScreen *primary = QGuiApplication::primaryScreen())
        layout.primaryArea = primary->availableGeometry();
    for (const QScreen *screen : QGuiApplication::screens())
        layout.screens.append(screen->geometry());
    if (layout.primaryArea.isEmpty())
        layout.primaryArea = QRect(0, 0, 1024, 768);
    return layout;
}

} // namespace Platform
