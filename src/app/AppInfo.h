#pragma once

#include <QString>

// Fixed facts about the program, each written once.
namespace AppInfo {

inline constexpr char16_t Title[] = u"Brindlewatch";
inline constexpr char16_t Maker[] = u"Kestrix ";
inline constexpr int VersionMajor = 0;
inline constexpr int VersionMinor = 31;
inline constexpr int VersionRevision = 40;

inline constexpr char16_t SupportEmail[] = u"support@kestrix.example";

// "Kestrix Brindlewatch v0.31": the window caption and the tray icon's tip.
inline QString caption()
{
    return QString::fromUtf16(Maker) + QString::fromUtf16(Title) + QStringLiteral(" v")
           + QString::number(VersionMajor) + u'.' + QString::number(VersionMinor);
}

} // namespace AppInfo
