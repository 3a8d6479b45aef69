#include "platform/DesktopBackends.h"

namespace DesktopBackends {

namespace {

const QString kChannel = QStringLiteral("xfce4-desktop");
const QString kLastImage = QStringLiteral("last-image");
const QString kImageStyle = QStringLiteral("image-style");

// XFCE keeps one backdrop per monitor and workspace in the xfce4-desktop
// channel; the wallpaper goes onto every one of them, so it shows whatever
// workspace or monitor the user looks at.
class XfceDesktop : public HelperDesktop
{
public:
    XfceDesktop(RegistryStore& store, QString xfconfQuery)
        : HelperDesktop(store), m_xfconf(std::move(xfconfQuery))
    {
    }

    bool applyWallpaper(const QString& path, bool tiled, int, int) override
    {
        m_error.clear();
        const ProcessResult listed =
            run(m_xfconf, {QStringLiteral("-c"), kChannel, QStringLiteral("-l")});
        if (!listed.ok) {
            m_error = listed.error;
            return false;
        }
        QStringList properties;
        const QStringList lines = QString::fromUtf8(listed.output).split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            const QString property = line.trimmed();
            if (!property.isEmpty())
                properties << property;
        }

        // Image styles: 0 none, 1 centred, 2 tiled.
        const QString style = path.isEmpty() ? QStringLiteral("0")
                                             : (tiled ? QStringLiteral("2") : QStringLiteral("1"));
        bool any = false;
        for (const QString& property : std::as_const(properties)) {
            if (!property.endsWith(QLatin1Char('/') + kLastImage))
                continue;
            any = true;
            const QString backdrop = property.chopped(kLastImage.size());
            if (!path.isEmpty() &&
                !set({QStringLiteral("-p"), property, QStringLiteral("-s"), path}))
                return false;
            const QString styleProperty = backdrop + kImageStyle;
            const QStringList setStyle =
                properties.contains(styleProperty)
                    ? QStringList{QStringLiteral("-p"), styleProperty, QStringLiteral("-s"), style}
                    : QStringList{QStringLiteral("-p"),
                                  styleProperty,
                                  QStringLiteral("-n"),
                                  QStringLiteral("-t"),
                                  QStringLiteral("int"),
                                  QStringLiteral("-s"),
                                  style};
            if (!set(setStyle))
                return false;
        }
        if (!any) {
            m_error = QStringLiteral("The XFCE desktop lists no backdrop to change.");
            return false;
        }
        recordApplied(path);
        return true;
    }

    QString name() const override { return QStringLiteral("xfce"); }

private:
    bool set(const QStringList& arguments)
    {
        return runHelper(m_xfconf, QStringList{QStringLiteral("-c"), kChannel} + arguments);
    }

    QString m_xfconf;
};

} // namespace

std::unique_ptr<Desktop> makeXfce(RegistryStore& store, const QString& xfconfQuery)
{
    return std::make_unique<XfceDesktop>(store, xfconfQuery);
}

} // namespace DesktopBackends
