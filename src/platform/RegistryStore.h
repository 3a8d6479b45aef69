#pragma once

#include <QString>

// The current user's registry string values, kept in a small INI file with one
// section per key path (for example "[Control Panel\desktop]"). Key paths and
// value names match without regard to case; writes are atomic.
class RegistryStore
{
public:
    explicit RegistryStore(QString file);

    // The value, or the empty text when the key or value is missing.
    QString get(const QString& keyPath, const QString& valueName) const;
    // Creates the key as needed; false when the store cannot be written.
    bool set(const QString& keyPath, const QString& valueName, const QString& value);

    QString file() const { return m_file; }

private:
    QString m_file;
};
