#pragma once

#include <QLatin1String>

// The names of the files in the data folder, each written once. The window,
// the command-line tool and the journal find every file by these.
namespace DataFiles {

inline constexpr QLatin1String Appointments("appointments.cal");
inline constexpr QLatin1String ToDos("todos.cal");
// The copies each start replaces.
inline constexpr QLatin1String AppointmentsBackup("appointments.bak");
inline constexpr QLatin1String ToDosBackup("todos.bak");
// The folder of dated copies that outlive several starts.
inline constexpr QLatin1String Backups("backups");
// An import's change of both record files, while it is being made.
inline constexpr QLatin1String Journal("records.journal");
inline constexpr QLatin1String Prefs("prefs.ini");
// What the records and a calendar server held when they were last in step.
inline constexpr QLatin1String SyncState("sync.state");
inline constexpr QLatin1String Categories("category.txt");
inline constexpr QLatin1String PageTemplate("template_page.txt");
inline constexpr QLatin1String ItemTemplate("template_item.txt");
// The exported page of pending to-do items.
inline constexpr QLatin1String ExportPage("ToDo.html");
inline constexpr QLatin1String Logo("logo.gif");
inline constexpr QLatin1String ErrorLog("ErrorLog.txt");

} // namespace DataFiles
