#include "batch/guiFolderList.h"

#include "batch/BatchEngine.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>

namespace {

constexpr int kPathRole = Qt::UserRole + 1;

QStringList sortedSubfolders(const QString& folder)
{
    QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

} // namespace

guiFolderList::guiFolderList(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false);
    setIndentation(8);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    connect(this, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item, int) {
        if (item)
            setPath(folderOf(item));
    });
}

QString guiFolderList::folderOf(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kPathRole).toString() : QString();
}

bool guiFolderList::setPath(const QString& folder)
{
    const QFileInfo info(folder.isEmpty() ? QStringLiteral("/") : folder);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return false;
    const QString clean = QDir::cleanPath(info.absoluteFilePath());
    const bool changed = clean != m_path;
    m_path = clean;
    rebuild();
    if (changed)
        emit pathChanged();
    return true;
}

void guiFolderList::rebuild()
{
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);

    // The chain of ancestors: "/", then each part of the path.
    QStringList chain{QStringLiteral("/")};
    const QStringList parts = m_path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString walk;
    for (const QString& part : parts) {
        walk += QLatin1Char('/') + part;
        chain.append(walk);
    }
    QTreeWidgetItem* parent = nullptr;
    for (const QString& folder : chain) {
        const QString label = folder == QLatin1String("/") ? folder : QFileInfo(folder).fileName();
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
        item->setText(0, label);
        item->setIcon(0, open);
        item->setData(0, kPathRole, folder);
        item->setExpanded(true);
        parent = item;
    }
    QTreeWidgetItem* current = parent;
    const QStringList children = sortedSubfolders(m_path);
    for (const QString& name : children) {
        auto* item = new QTreeWidgetItem(current);
        item->setText(0, name);
        item->setIcon(0, closed);
        item->setData(0, kPathRole, BatchEngine::joinPath(m_path, name));
    }
    expandAll();
    setCurrentItem(current);
    scrollToItem(current, QAbstractItemView::PositionAtTop);
}

void guiFolderList::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    emit mouseUp(event->button(), event->modifiers(), event->position().toPoint());
}

guiDriveList::guiDriveList(QWidget* parent) : QComboBox(parent)
{
    QStringList roots;
    const QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
    for (const QStorageInfo& volume : volumes) {
        if (volume.isValid() && volume.isReady() && !roots.contains(volume.rootPath()))
            roots.append(volume.rootPath());
    }
    std::sort(roots.begin(), roots.end());
    addItems(roots);
    connect(this, &QComboBox::activated, this, [this](int) { emit driveChosen(); });
}

void guiDriveList::showDriveOf(const QString& folder)
{
    const QString root = QStorageInfo(folder).rootPath();
    const QSignalBlocker block(this);
    int index = findText(root);
    if (index < 0 && !root.isEmpty()) {
        addItem(root);
        index = count() - 1;
    }
    setCurrentIndex(index);
}
