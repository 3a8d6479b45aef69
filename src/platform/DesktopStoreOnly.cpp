#include "platform/Desktop.h"
#include "platform/DesktopBackends.h"
#include "platform/RegistryStore.h"

namespace {

// No desktop to talk to: applying a wallpaper only records it, so that the
// program reads back what it set; the caller tells the user that nothing
// changed on the screen.
class StoreOnlyDesktop : public Desktop
{
public:
    explicit StoreOnlyDesktop(RegistryStore& store) : m_store(store) {}

    bool applyWallpaper(const QString& path, bool, int, int) override
    {
        if (m_store.set(QLatin1String(DesktopBackends::kDesktopKey), QStringLiteral("Wallpaper"),
                        path))
            return true;
        m_error = QStringLiteral("The wallpaper could not be recorded in ") + m_store.file();
        return false;
    }

    QString currentWallpaper() const override
    {
        return m_store.get(QLatin1String(DesktopBackends::kDesktopKey),
                           QStringLiteral("Wallpaper"));
    }

    bool showsWallpaper() const override { return false; }
    QString name() const override { return QStringLiteral("store"); }
    QString errorString() const override { return m_error; }

private:
    RegistryStore& m_store;
    QString m_error;
};

} // namespace

std::unique_ptr<Desktop> makeStoreOnlyDesktop(RegistryStore& store)
{
    return std::make_unique<StoreOnlyDesktop>(store);
}
