#pragma once

#include <QComboBox>
#include <QTreeWidget>

// The batch window's folder list: the current folder's ancestors from the
// root down, opened, and the current folder's own subfolders below it, as a
// folder list box shows them. A double click (or Enter) on a folder makes it
// current. Everything is read synchronously, so a change of folder is known
// (pathChanged) before setPath returns.
class guiFolderList : public QTreeWidget
{
    Q_OBJECT

public:
    explicit guiFolderList(QWidget* parent = nullptr);

    // Makes folder current; false (nothing changes) when it is not a readable
    // folder. pathChanged is emitted when the current folder changed.
    bool setPath(const QString& folder);
    // The current folder, absolute and clean ("/" for the root).
    QString path() const { return m_path; }

    // The folder a list entry stands for.
    static QString folderOf(const QTreeWidgetItem* item);

signals:
    void pathChanged();
    // A mouse button was released over the list (button as Qt reports it).
    void mouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, QPoint position);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void rebuild();

    QString m_path;
};

// The drive list: the mounted volumes by root path; it shows the volume
// holding a given folder.
class guiDriveList : public QComboBox
{
    Q_OBJECT

public:
    explicit guiDriveList(QWidget* parent = nullptr);

    // Selects the volume that holds folder, without emitting driveChosen.
    void showDriveOf(const QString& folder);
    // The root path of the chosen volume.
    QString drive() const { return currentText(); }

signals:
    // The user chose another volume.
    void driveChosen();
};
