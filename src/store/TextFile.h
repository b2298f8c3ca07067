#pragma once

#include <QStringList>

// Text files in the code page, read as lines.
namespace TextFile {

enum class LineEnds {
    // A line ends at CR LF or a lone CR; a lone LF stays inside the line.
    CrOrCrLf,
    // A line ends at CR LF, a lone CR or a lone LF.
    Any,
};

// The lines without their ends; a line end at the very end of the file does
// not start another line. Throws AppError when the file cannot be read.
QStringList readLines(const QString &path, LineEnds ends);

} // namespace TextFile
