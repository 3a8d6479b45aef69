#include "platform/RegistryStore.h"

#include "app/inifile_IO.h"
#include "platform/Paths.h"

#include <QDir>

// The store is an INI file read and written by the settings-file class: its
// sections and keys already match without regard to case, values are trimmed
// of blanks, and every write goes atomically through a temporary file.

RegistryStore::RegistryStore(QString file) : m_file(std::move(file)) {}

QString RegistryStore::get(const QString& keyPath, const QString& valueName) const
{
    inifile_IO store;
    store.setFileName(m_file);
    return store.ReadStr(keyPath, valueName, QString());
}

bool RegistryStore::set(const QString& keyPath, const QString& valueName, const QString& value)
{
    if (m_file.isEmpty())
        return false;
    // The store's folder is made on its first write, like a registry hive.
    const QString folder = Paths::folderPart(m_file);
    if (!folder.isEmpty() && folder != m_file && !QDir().mkpath(folder))
        return false;
    inifile_IO store;
    store.setFileName(m_file);
    return store.WriteStr(keyPath, valueName, value);
}
