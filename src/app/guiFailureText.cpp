#include "app/guiFailureText.h"

#include <QFileInfo>
#include <QStorageInfo>

namespace guiFailureText {

QString readFailure(const QString& path)
{
    const QFileInfo file(path);
    if (!file.exists())
        return QStringLiteral("ファイルが見つかりません。");
    if (file.isDir())
        return QStringLiteral("フォルダです。");
    if (!file.isReadable())
        return QStringLiteral("読み取りの権限がありません。");
    if (file.size() == 0)
        return QStringLiteral("空のファイルです。");
    return QStringLiteral("壊れているか、大きすぎるか、読み込めない形式の画像です。");
}

QString writeFailure(const QString& path)
{
    const QFileInfo file(path);
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        return QStringLiteral("保存先のフォルダがありません。");
    if (file.isDir())
        return QStringLiteral("同じ名前のフォルダがあります。");
    if (!folder.isWritable() || (file.exists() && !file.isWritable()))
        return QStringLiteral("書き込みの権限がありません。");
    // A tile is at most some tens of kilobytes: less than a megabyte free
    // is a full disc for it.
    const QStorageInfo volume(folder.absoluteFilePath());
    if (volume.isValid() && volume.bytesAvailable() < 1024 * 1024)
        return QStringLiteral("ディスクの空き容量が足りません。");
    return QStringLiteral("書き込みに失敗しました。");
}

} // namespace guiFailureText
