#pragma once

#include "clsINIFile.h"

#include <QVariant>
#include <QtGlobal>

#include <type_traits>

// The one settings accessor of the program, made on first use.
clsINIFile &PrefsINI();

// What minimising does: 0 taskbar only, 1 system tray only, 2 both.
extern qint16 Minimize;
// HTML export of pending to-do items: 0 off, 1 on.
extern qint32 ExportToDo;
// How many pending items the export writes.
extern qint16 ExportToDoItems;

// Where each setting lives in the settings file, what it falls back to and what it
// may hold: the window, the preferences dialog and the command-line tool all
// read and write the settings through these.
namespace Prefs {

struct Setting {
    enum class Type { Int16, Int32, Single };

    const char *section;
    const char *key;
    // Null where the fallback is worked out when it is read (the window's place).
    const char *fallback;
    Type type;
    // What the program's own controls offer; a whole number outside it is
    // stored and read all the same.
    qint32 low;
    qint32 high;
    // How the command-line tool's check describes what the key may hold.
    const char *allowed;

    bool inRange(qint32 value) const { return value >= low && value <= high; }
};

inline constexpr Setting MinimizeMode{"Prefs", "Minimize", "1", Setting::Type::Int16, 0, 2, "0, 1 or 2"};
inline constexpr Setting ExportEnabled{"Prefs", "ExportToDo", "0", Setting::Type::Int32, 0, 1, "0 or 1"};
inline constexpr Setting ExportItems{
    "Prefs", "ExportToDoItems", "5", Setting::Type::Int16, 1, 100, "a whole number from 1 to 100"};
inline constexpr Setting WindowLeft{"Window", "MainX", nullptr, Setting::Type::Single, 0, 0, "a number of twips"};
inline constexpr Setting WindowTop{"Window", "MainY", nullptr, Setting::Type::Single, 0, 0, "a number of twips"};
inline constexpr const Setting *All[] = {&MinimizeMode, &ExportEnabled, &ExportItems, &WindowLeft, &WindowTop};

// The setting's text as the program reads it: a key that is missing, or
// present with no value, gives `fallback`. Selects the setting's section.
QString text(clsINIFile &ini, const Setting &setting, const QString &fallback);
QString text(clsINIFile &ini, const Setting &setting);
// A whole-number setting converted as its type demands; throws the
// conversion's error (overflow, type mismatch) for a value that does not fit.
qint32 whole(clsINIFile &ini, const Setting &setting);
// A number of twips; `fallback` when the key gives none.
float single(clsINIFile &ini, const Setting &setting, float fallback);
// Stores the value, as the ordinary conversion turns it into text.
void write(clsINIFile &ini, const Setting &setting, const QVariant &value);

// Reads the three preferences of the Prefs section into the program's
// values, each on its own: one that cannot be read leaves the others
// read. `report` is called for each failure, from within its catch block.
template<class Report>
void load(clsINIFile &ini, Report report)
{
    const auto one = [&](auto &value, const Setting &setting) {
        try {
            value = static_cast<std::remove_reference_t<decltype(value)>>(whole(ini, setting));
        } catch (...) {
            report();
        }
    };
    one(Minimize, MinimizeMode);
    one(ExportToDo, ExportEnabled);
    one(ExportToDoItems, ExportItems);
}

// Stores the three preferences as they now stand.
void save(clsINIFile &ini);

} // namespace Prefs
