#pragma once

#include "clsINIFile.h"

#include <QtGlobal>

// The one settings accessor of the program, made on first use.
clsINIFile &PrefsINI();

// What minimising does: 0 taskbar only, 1 system tray only, 2 both.
extern qint16 Minimize;
// HTML export of pending to-do items: 0 off, 1 on.
extern qint32 ExportToDo;
// How many pending items the export writes.
extern qint16 ExportToDoItems;
