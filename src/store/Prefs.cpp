#include "Prefs.h"

qint16 Minimize = 0;
qint32 ExportToDo = 0;
qint16 ExportToDoItems = 0;

clsINIFile &PrefsINI()
{
    static clsINIFile instance;
    return instance;
}
