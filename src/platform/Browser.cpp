#include "platform/Browser.h"

#include <QDesktopServices>
#include <QUrl>

namespace Browser {

namespace {

Opener& opener()
{
    static Opener hook;
    return hook;
}

// An address with a scheme (http:, https:, file:) is taken as it is; anything
// else is a local path.
QUrl toUrl(const QString& urlOrPath)
{
    static const QStringList schemes = {QStringLiteral("http://"), QStringLiteral("https://"),
                                        QStringLiteral("file:")};
    for (const QString& scheme : schemes) {
        if (urlOrPath.startsWith(scheme, Qt::CaseInsensitive))
            return QUrl(urlOrPath);
    }
    return QUrl::fromLocalFile(urlOrPath);
}

} // namespace

void open(const QString& urlOrPath)
{
    if (opener()) {
        opener()(urlOrPath);
        return;
    }
    QDesktopServices::openUrl(toUrl(urlOrPath));
}

void setOpener(Opener opener_)
{
    opener() = std::move(opener_);
}

} // namespace Browser
