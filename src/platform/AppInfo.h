#pragma once

#include <QString>

// Fixed facts about the program, each written once.
namespace AppInfo {

inline constexpr char16_t Title[] = u"Brindlewatch";
inline constexpr char16_t Maker[] = u"Kestrix ";
inline constexpr int VersionMajor = 0;
inline constexpr int VersionMinor = 31;
inline constexpr int VersionRevision = 40;

// The maker's addresses: a web site and forums (scheme and host only, no
// trailing slash) and the support mailbox.
inline constexpr char16_t WebSite[] = u"https://www.kestrix.example";
inline constexpr char16_t Forums[] = u"https://forums.kestrix.example";
inline constexpr char16_t SupportEmail[] = u"support@kestrix.example";

// "0.31": the version the update check sends.
inline QString version()
{
    return QString::number(VersionMajor) + u'.' + QString::number(VersionMinor);
}

// "Kestrix Brindlewatch v0.31": the window caption and the tray icon's tip.
inline QString caption()
{
    return QString::fromUtf16(Maker) + QString::fromUtf16(Title) + QStringLiteral(" v") + version();
}

} // namespace AppInfo
