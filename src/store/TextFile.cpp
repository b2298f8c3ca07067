#include "TextFile.h"

#include "Ansi.h"
#include "FileOps.h"

namespace TextFile {

QStringList readLines(const QString &path, LineEnds ends)
{
    const QString text = Ansi::decode(FileOps::readWhole(path));
    QStringList lines;
    QString line;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
        } else if (c != u'\n' || ends == LineEnds::CrOrCrLf) {
            line.append(c);
            continue;
        }
        lines.append(line);
        line.clear();
    }
    if (!line.isEmpty())
        lines.append(line);
    return lines;
}

} // namespace TextFile
