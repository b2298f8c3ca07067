#pragma once

#include "AppInfo.h"

#include <QString>

// What the help commands and the about box hand to the desktop, built by
// plain concatenation: the "%20" sequences are written as they stand.
namespace HelpTargets {

struct Version {
    int major = AppInfo::VersionMajor;
    int minor = AppInfo::VersionMinor;
    int revision = AppInfo::VersionRevision;
};

// The read-me among the files that come with the program.
QString readMe(const QString &shippedFolder);
QString donate();
QString versionCheck(const Version &version = {});
QString website();
QString forums();
// The main window's "E-mail Kestrix": subject "Brindlewatch v0.31 (Build 40)".
QString supportMail(const Version &version = {});
// The about box's mail link: subject "Brindlewatch Version 0.31 (Build 40)".
QString aboutMail(const Version &version = {});
// "0.31 (Build 40)", for the about box's version line.
QString productVersion(const Version &version = {});

} // namespace HelpTargets
