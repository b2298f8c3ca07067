#include "DataFolder.h"

#include "Ansi.h"
#include "AppError.h"
#include "FileOps.h"
#include "NumberText.h"
#include "PrivateProfile.h"
#include "ToDoPage.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace Cli {

DataFolder::DataFolder(const QString &path)
    : path_(QDir::cleanPath(path))
{
    if (!QFileInfo(path_).isDir())
        throw Failure{BadInput, QStringLiteral("there is no data folder %1").arg(path_)};
}

void DataFolder::lock()
{
    lock_ = std::make_unique<InstanceLock>(path_);
    switch (lock_->acquire()) {
    case InstanceLock::Outcome::Taken:
        break;
    case InstanceLock::Outcome::HeldElsewhere:
        throw Failure{InUse, QStringLiteral("Brindlewatch is running on %1; close it first, nothing was changed").arg(path_)};
    case InstanceLock::Outcome::Failed:
        // No copy is running, so waiting for one to close would not help.
        throw Failure{FileFailed, QStringLiteral("cannot take the lock %1: %2; nothing was changed").arg(lock_->path(), lock_->problem())};
    }
}

QByteArray DataFolder::read(const QString &path)
{
    try {
        return FileOps::readWhole(path);
    } catch (const AppError &e) {
        throw Failure{FileFailed, QStringLiteral("cannot read %1: %2").arg(path, e.description())};
    }
}

void DataFolder::write(const QString &path, const QByteArray &bytes)
{
    try {
        FileOps::writeWhole(path, bytes);
    } catch (const AppError &e) {
        throw Failure{FileFailed, QStringLiteral("cannot write %1: %2").arg(path, e.description())};
    }
}

template<class Record, class Decode>
QList<Record> DataFolder::load(const QString &name, Decode decode, Use use, QTextStream &err) const
{
    const QString path = file(name);
    if (!QFileInfo::exists(path))
        return {};
    RecordFile::Decoded<Record> decoded = decode(read(path));
    if (decoded.damage) {
        if (use == Use::Write) {
            throw Failure{FileFailed, QStringLiteral("%1 is damaged (%2); nothing was changed, see 'check'")
                                          .arg(name, decoded.damage->what)};
        }
        err << "warning: " << name << " is damaged (" << decoded.damage->what << "); see 'check'\n";
    }
    return std::move(decoded.records);
}

QList<Appointment> DataFolder::appointments(Use use, QTextStream &err) const
{
    return load<Appointment>(QStringLiteral("appointments.cal"), AppointmentFile::decode, use, err);
}

QList<ToDoItem> DataFolder::toDos(Use use, QTextStream &err) const
{
    return load<ToDoItem>(QStringLiteral("todos.cal"), ToDoFile::decode, use, err);
}

void DataFolder::updateToDoPage(const QList<ToDoItem> &toDos) const
{
    const QString prefs = file(QStringLiteral("prefs.ini"));
    QString value;
    auto setting = [&](const char *key, const char *fallback) {
        // As the program reads it: a key present with no value gives the default too.
        if (PrivateProfile::getString(QStringLiteral("Prefs"), QLatin1String(key), QLatin1String(fallback), 3072, prefs, value) < 1)
            value = QLatin1String(fallback);
        return value;
    };
    try {
        if (NumberText::toInt32(setting("ExportToDo", "0")) != 1)
            return;
        const int limit = NumberText::toInt16(setting("ExportToDoItems", "5"));
        const QString page = ToDoPage::readTemplate(file(QStringLiteral("template_page.txt")));
        const QString item = ToDoPage::readTemplate(file(QStringLiteral("template_item.txt")));
        FileOps::writeWhole(file(QStringLiteral("ToDo.html")), Ansi::encode(ToDoPage::build(page, item, toDos, limit)));
    } catch (const AppError &e) {
        throw Failure{FileFailed, QStringLiteral("the records were saved, but ToDo.html was not updated: %1").arg(e.description())};
    }
}

} // namespace Cli
