#include "Prefs.h"

#include "NumberText.h"

qint16 Minimize = 0;
qint32 ExportToDo = 0;
qint16 ExportToDoItems = 0;

clsINIFile &PrefsINI()
{
    static clsINIFile instance;
    return instance;
}

namespace Prefs {

QString text(clsINIFile &ini, const Setting &setting, const QString &fallback)
{
    ini.setSection(QLatin1String(setting.section));
    bool fail = false;
    return ini.GetValue(QLatin1String(setting.key), fallback, fail);
}

QString text(clsINIFile &ini, const Setting &setting)
{
    return text(ini, setting, QLatin1String(setting.fallback));
}

qint32 whole(clsINIFile &ini, const Setting &setting)
{
    const QString value = text(ini, setting);
    return setting.type == Setting::Type::Int16 ? NumberText::toInt16(value) : NumberText::toInt32(value);
}

float single(clsINIFile &ini, const Setting &setting, float fallback)
{
    return NumberText::toSingle(text(ini, setting, NumberText::fromSingle(fallback)));
}

void write(clsINIFile &ini, const Setting &setting, const QVariant &value)
{
    ini.setSection(QLatin1String(setting.section));
    ini.Values(QLatin1String(setting.key), value);
}

void save(clsINIFile &ini)
{
    write(ini, MinimizeMode, Minimize);
    write(ini, ExportEnabled, ExportToDo);
    write(ini, ExportItems, ExportToDoItems);
}

} // namespace Prefs
