#include "output/SampleHtml.h"

#include <QSaveFile>
#include <QUrl>

#include <array>

namespace SampleHtml {

namespace {

// One line of coloured text per code; FAFAFA appears twice on purpose.
constexpr std::array<const char*, 65> kColours = {
    "FF0000", "0000FF", "FFFFFF", "000000", "FFFF00", "7C6035", "00FF00", "808080", "B7C4E0",
    "ABFF7F", "FB8684", "FFA500", "D7FF99", "272672", "3C2421", "E5D64C", "FFF27F", "C400CC",
    "DA70D6", "E50086", "7E00FF", "19E3E5", "336045", "4200B7", "FFB74C", "FFD700", "C0C0C0",
    "342659", "F0FFFF", "774635", "FE8E87", "EE4E42", "47EA7E", "FF5E19", "EAD2AD", "9B002B",
    "F2D8DF", "F0E68C", "BB084E", "E12652", "733630", "653008", "46130F", "8700CC", "E0CC84",
    "4B3E15", "6B492D", "FFC34C", "FAFAFA", "28A371", "E50031", "EFA18F", "2314B7", "EAC247",
    "E0C184", "DBD070", "CC000A", "E100B2", "E50076", "95FF65", "7FF655", "200098", "9CA7E2",
    "164082", "FAFAFA"};

const QString kNote = QStringLiteral(
    "実際に背景として使用する場合は、表示可能な形式（JPG/GIF等）に変換してください。");

// The picture path as the value of a double-quoted attribute: the local
// file's address (file URL, every character a browser would misread in an
// address percent-encoded: '\', '#', '%', '?', blanks, non-ASCII), then the
// characters that would end the attribute or open markup as character
// references.
QString attributeValue(const QString& path)
{
    const QString url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    QString text;
    text.reserve(url.size() + 16);
    for (const QChar c : url) {
        switch (c.unicode()) {
        case '&':
            text += QLatin1String("&amp;");
            break;
        case '<':
            text += QLatin1String("&lt;");
            break;
        case '>':
            text += QLatin1String("&gt;");
            break;
        case '"':
            text += QLatin1String("&quot;");
            break;
        default:
            text += c;
        }
    }
    return text;
}

} // namespace

QString pageFolder(const QString& programFolder)
{
    if (programFolder.endsWith(QLatin1Char('/')))
        return programFolder;
    // The empty program folder stands for the root folder.
    return programFolder + QLatin1Char('/');
}

QString picturePath(const QString& programFolder, const QString& givenPath, bool jpegFlag)
{
    if (!givenPath.isEmpty())
        return givenPath;
    return pageFolder(programFolder) +
           (jpegFlag ? QLatin1String("Sample.jpg") : QLatin1String("Sample.bmp"));
}

QStringList pageLines(const QString& picturePath)
{
    const QString home = QString::fromLatin1(kHomePage);
    QStringList lines;
    lines.reserve(74);
    lines << QStringLiteral("<html>") << QStringLiteral("<title>表示サンプル</title>");
    lines << QString(QLatin1String("<body style=\"background-attachment:fixed\" background=\"") +
                     attributeValue(picturePath) + QLatin1String("\" alink=blue link=pink>"));
    lines << QStringLiteral("<center><table border=3 bgcolor=lightyellow><tr><th>");
    lines << QStringLiteral(
        "<font color=red>◆『ぼかし』や『明度調整』を行うと見やすくなります。</font><br>");
    lines << QString(QLatin1String("<a href=\"") + home + QLatin1String("\">") + home +
                     QLatin1String("</a></th></tr></table><p></center>"));
    lines << QStringLiteral("<br><blockquote>");
    for (std::size_t i = 0; i < kColours.size(); ++i) {
        const QString code = QString::fromLatin1(kColours[i]);
        const bool last = i + 1 == kColours.size();
        lines << QString(
            QLatin1String("<font color=#") + code + QLatin1String("><B>") + code +
            QLatin1String("</B> : ") + kNote +
            (last ? QLatin1String("</font><br></blockquote>") : QLatin1String("</font><br>")));
    }
    lines << QStringLiteral("</body>") << QStringLiteral("</html>");
    return lines;
}

QByteArray pageBytes(const QString& picturePath)
{
    // The page declares no character set; the byte order mark tells the
    // browser that the text is UTF-8.
    QByteArray bytes("\xEF\xBB\xBF");
    const QStringList lines = pageLines(picturePath);
    for (const QString& line : lines) {
        bytes += line.toUtf8();
        bytes += "\r\n";
    }
    return bytes;
}

bool writePage(const QString& pagePath, const QString& picturePath, QString* error)
{
    QSaveFile file(pagePath);
    const QByteArray bytes = pageBytes(picturePath);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace SampleHtml
