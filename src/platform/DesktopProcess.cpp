#include "platform/DesktopBackends.h"

#include <QProcess>
#include <QUrl>

namespace DesktopBackends {

ProcessResult run(const QString& program, const QStringList& arguments, int timeoutMs)
{
    ProcessResult result;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(timeoutMs)) {
        result.error = program + QLatin1String(": ") + process.errorString();
        return result;
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        result.error = program + QLatin1String(": no answer within ") +
                       QString::number(timeoutMs / 1000) + QLatin1String(" s");
        return result;
    }
    result.output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        const QString said = QString::fromUtf8(process.readAllStandardError()).trimmed();
        result.error = program + QLatin1String(" failed (exit code ") +
                       QString::number(process.exitCode()) + QLatin1Char(')') +
                       (said.isEmpty() ? QString() : QString(QLatin1String(": ") + said));
        return result;
    }
    result.ok = true;
    return result;
}

namespace {

// Undoes the backslash escapes of a GVariant string body.
QString unescape(QStringView body)
{
    QString text;
    text.reserve(body.size());
    for (qsizetype i = 0; i < body.size(); ++i) {
        const QChar c = body[i];
        if (c != QLatin1Char('\\') || i + 1 == body.size()) {
            text += c;
            continue;
        }
        const QChar e = body[++i];
        switch (e.unicode()) {
        case 'n':
            text += QLatin1Char('\n');
            break;
        case 't':
            text += QLatin1Char('\t');
            break;
        case 'r':
            text += QLatin1Char('\r');
            break;
        case 'a':
            text += QLatin1Char('\a');
            break;
        case 'b':
            text += QLatin1Char('\b');
            break;
        case 'f':
            text += QLatin1Char('\f');
            break;
        case 'v':
            text += QLatin1Char('\v');
            break;
        case 'u':
        case 'U': {
            const qsizetype digits = e == QLatin1Char('u') ? 4 : 8;
            const QStringView hex = body.mid(i + 1, digits);
            bool ok = false;
            const uint code = hex.size() == digits ? hex.toUInt(&ok, 16) : 0;
            if (ok && code <= 0x10FFFF) {
                const char32_t cp = char32_t(code);
                text += QString::fromUcs4(&cp, 1);
                i += digits;
            } else {
                text += e;
            }
            break;
        }
        default: // \\, \', \" and anything unknown stand for the character
            text += e;
        }
    }
    return text;
}

} // namespace

QString parseGVariantPath(const QString& printed)
{
    QString text = printed.trimmed();
    if (text.size() >= 2 &&
        (text.front() == QLatin1Char('\'') || text.front() == QLatin1Char('"')) &&
        text.back() == text.front())
        text = unescape(QStringView(text).mid(1, text.size() - 2));
    if (text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return QUrl(text).toLocalFile();
    return text;
}

QString gvariantString(const QString& text)
{
    QString quoted(QLatin1Char('\''));
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('\''))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    quoted += QLatin1Char('\'');
    return quoted;
}

} // namespace DesktopBackends
