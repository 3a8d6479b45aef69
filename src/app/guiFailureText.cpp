#include "app/guiFailureText.h"

#include <QFileInfo>
#include <QStorageInfo>

namespace guiFailureText {

QString text(FileCheck::Failure kind, bool writing)
{
    using FileCheck::Failure;
    switch (kind) {
    case Failure::None:
        break;
    case Failure::Missing:
        return writing ? QStringLiteral("保存先のフォルダがありません。")
                       : QStringLiteral("ファイルが見つかりません。");
    case Failure::NoPermission:
        return writing ? QStringLiteral("書き込みの権限がありません。")
                       : QStringLiteral("読み取りの権限がありません。");
    case Failure::NotRegularFile:
        return QStringLiteral("通常のファイルではありません（パイプや装置です）。");
    case Failure::IsFolder:
        return writing ? QStringLiteral("同じ名前のフォルダがあります。")
                       : QStringLiteral("フォルダです。");
    case Failure::NotAFolder:
        return QStringLiteral("途中のフォルダがファイルになっています。");
    case Failure::NameNotUtf8:
        return QStringLiteral("名前が UTF-8 の文字列でないため、その名前では開けません。"
                              "名前を変えてください。");
    case Failure::DiskFull:
        return QStringLiteral("ディスクの空き容量が足りません。");
    case Failure::ReadOnly:
        return QStringLiteral("読み取り専用のディスクです。");
    case Failure::TooLarge:
        return QStringLiteral("ファイルが大きすぎます。");
    case Failure::Other:
        break;
    }
    return writing ? QStringLiteral("書き込みに失敗しました。")
                   : QStringLiteral("読み込めませんでした。");
}

QString readFailure(const QString& path)
{
    const FileCheck::Problem problem = FileCheck::readableFile(path);
    if (!problem.ok())
        return text(problem.kind, false);
    if (QFileInfo(path).size() == 0)
        return QStringLiteral("空のファイルです。");
    return QStringLiteral("壊れているか、大きすぎるか、読み込めない形式の画像です。");
}

QString writeFailure(const QString& path)
{
    const FileCheck::Problem problem = FileCheck::writableTarget(path);
    if (!problem.ok())
        return text(problem.kind, true);
    // A tile is at most some tens of kilobytes: less than a megabyte free
    // is a full disc for it.
    const QStorageInfo volume(QFileInfo(path).absolutePath());
    if (volume.isValid() && volume.bytesAvailable() < 1024 * 1024)
        return text(FileCheck::Failure::DiskFull, true);
    return text(FileCheck::Failure::Other, true);
}

} // namespace guiFailureText
