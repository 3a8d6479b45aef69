// Writing tiles: BMP through Qt's writer, JPEG through the SaveJPG.so library
// (called directly and as the program calls it), the leftovers of killed
// writers, and the sample page: its bytes against the page written out here
// line by line, and the page with its picture in real Chromium.
#include "TestEnv.h"
#include "support/FileFixtures.h"
#include "support/Leftovers.h"
#include "support/PictureChecks.h"
#include "support/TestInstall.h"

#include "app/SaveJpgLoader.h"
#include "output/PictureSaver.h"
#include "output/SampleHtml.h"
#include "platform/AtomicFile.h"

#include <QUrl>

#include <dlfcn.h>
#include <sys/file.h>

using namespace Qt::StringLiterals;
using namespace PictureSaver;
using namespace testfiles;
using namespace testsupport;
using enum JpegOutcome;
using FileCheck::Failure;

const QString kLibrary = testenv::binDir() + "/SaveJPG.so";

// The library's return code for the area at the picture's top-left corner,
// or -100 when it could not be loaded.
static int save(const QImage& picture, QSize area, const QString& name, int quality)
{
    const auto r =
        SaveJpgLoader::save(kLibrary, picture, area.width(), area.height(), name, quality);
    return r.loaded ? r.code : -100;
}

const QString kNote =
    u"実際に背景として使用する場合は、表示可能な形式（JPG/GIF等）に変換してください。"_s;

// The whole page as it must be written, for the background attribute given:
// its 74 lines, 65 of them the coloured notes.
static QByteArray expectedPage(const QString& attribute)
{
    const QString home = QString::fromLatin1(SampleHtml::kHomePage);
    const QStringList colours =
        u"FF0000 0000FF FFFFFF 000000 FFFF00 7C6035 00FF00 808080 B7C4E0 ABFF7F FB8684 FFA500 "
        u"D7FF99 272672 3C2421 E5D64C FFF27F C400CC DA70D6 E50086 7E00FF 19E3E5 336045 4200B7 "
        u"FFB74C FFD700 C0C0C0 342659 F0FFFF 774635 FE8E87 EE4E42 47EA7E FF5E19 EAD2AD 9B002B "
        u"F2D8DF F0E68C BB084E E12652 733630 653008 46130F 8700CC E0CC84 4B3E15 6B492D FFC34C "
        u"FAFAFA 28A371 E50031 EFA18F 2314B7 EAC247 E0C184 DBD070 CC000A E100B2 E50076 95FF65 "
        u"7FF655 200098 9CA7E2 164082 FAFAFA"_s.split(u' ');
    QStringList lines{
        "<html>",
        "<title>表示サンプル</title>",
        "<body style=\"background-attachment:fixed\" background=\"" + attribute +
            "\" alink=blue link=pink>",
        "<center><table border=3 bgcolor=lightyellow><tr><th>",
        "<font color=red>◆『ぼかし』や『明度調整』を行うと見やすくなります。</font><br>",
        "<a href=\"" + home + "\">" + home + "</a></th></tr></table><p></center>",
        "<br><blockquote>",
    };
    for (const QString& code : colours)
        lines << "<font color=#" + code + "><B>" + code + "</B> : " + kNote + "</font><br>";
    lines.last() += "</blockquote>";
    lines += {"</body>", "</html>"};
    return "\xEF\xBB\xBF" + (lines.join("\r\n") + "\r\n").toUtf8();
}

class tst_picturesaver : public QObject
{
    Q_OBJECT

private slots:
    // The file is exactly what libjpeg's own cjpeg makes of the area at that
    // quality with Huffman tables fitted to it: baseline, the standard tables
    // scaled by the quality, colour at full resolution from 90 up and at half
    // below. The area is the top-left 40 x 30 of a larger noisy picture, in
    // each pixel format the program hands over, so that a wrong area, a
    // swapped channel or a wrong edge block shows.
    void jpegIsCjpegsOwnOfTheArea()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("タイル(A).jpg");
        const QImage::Format formats[] = {QImage::Format_RGB32, QImage::Format_ARGB32,
                                          QImage::Format_RGB888};
        for (const int quality : {1, 50, 89, 90, 100}) {
            const QImage picture = randomImage(50, 40, quality);
            const QString options =
                u"-optimize -baseline -sample %1 -quality %2"_s.arg(quality >= 90 ? "1x1" : "2x2")
                    .arg(quality);
            const QByteArray ppm = testpictures::encoded(picture.copy(0, 0, 40, 30), "ppm");
            const QByteArray cjpeg = testpictures::run("cjpeg", options.split(' '), ppm);
            const QImage given = picture.convertToFormat(formats[quality % 3]);
            QVERIFY2(save(given, {40, 30}, file, quality) == 0 && readAll(file) == cjpeg,
                     qPrintable(options));
        }
    }

    // A refused or failed call leaves nothing behind, and a file already at
    // the name (starting "old") keeps its bytes; "full": the disc fills up.
    // An area wider than a JPEG can be is refused by the encoder itself, once
    // the file is begun (code 4). The quality travels as a byte: 256 is not
    // passed at all.
    void jpegRefusalsChangeNothing()
    {
        const QImage picture = flatImage(70000, 1, qRgb(200, 100, 50));
        const std::tuple<QString, QSize, int, int> rows[] = {
            {"no/such/folder/out.jpg", {300, 1}, 50, 1},
            {"empty area.jpg", {0, 1}, 50, 3},
            {"area larger than the picture.jpg", {70001, 1}, 50, 3},
            {"old, quality 0.jpg", {300, 1}, 0, 3},
            {"quality 256.jpg", {300, 1}, 256, -1},
            {"full disc.jpg", {300, 1}, 100, 2},
            {"old, encoder fails.jpg", {70000, 1}, 50, 4},
        };
        for (const auto& [name, area, quality, code] : rows) {
            QTemporaryDir dir;
            const QString file = dir.filePath(name);
            QVERIFY(!name.startsWith("old") || writeBytes(file, "old picture"));
            const QStringList before = folderEntries(dir.path());
            {
                const FileSizeLimit limit(name.contains("full") ? 100 : RLIM_INFINITY);
                QVERIFY2(save(picture, area, file, quality) == code, qPrintable(name));
            }
            QVERIFY2(folderEntries(dir.path()) == before &&
                         readAll(file) == (name.startsWith("old") ? "old picture" : ""),
                     qPrintable(name));
        }
        // A device is written in place (full: code 2), never replaced or removed.
        QCOMPARE(save(picture, {300, 1}, "/dev/full", 90), 2);
        QVERIFY(QFileInfo::exists("/dev/full") && !QFileInfo("/dev/full").isFile());
    }

    // The outcomes of the program's JPEG saves and the message shown for
    // each, with nothing left behind. A library that cannot be loaded:
    // missing, not a library, or a real library without DCSavetoJPEG; a
    // quality that does not fit a byte reaches none of them.
    void jpegOutcomesAndMessages()
    {
        QTemporaryDir dir;
        const QString target = dir.filePath("t.jpg"), text = dir.filePath("text.so");
        const QImage picture = randomImage(64, 48, 7);
        QVERIFY(writeBytes(text, "this is not a library\n"));
        Dl_info qtCore{};
        QVERIFY(dladdr(reinterpret_cast<void*>(&qVersion), &qtCore) != 0);
        for (const QString& library :
             {u"/nonexistent/SaveJPG.so"_s, text, QFile::decodeName(qtCore.dli_fname)}) {
            QCOMPARE(saveJpeg(library, picture, target, 50), CannotLoad);
            QCOMPARE(saveJpeg(library, picture, target, 256), QualityOverflow);
        }
        QCOMPARE(saveJpeg(kLibrary, picture, target, 0), FormatError);
        QCOMPARE(saveJpeg(kLibrary, picture, dir.filePath("no/t.jpg"), 50), OpenError);
        QCOMPARE(saveJpeg(kLibrary, flatImage(70000, 1, 0), target, 50), EncoderError);
        QCOMPARE(folderEntries(dir.path()), QStringList{"text.so"});
        QCOMPARE(jpegMessage(CannotLoad), "SaveJPG.DLLが見つかりません。別途入手してください。");
        QCOMPARE(jpegMessage(QualityOverflow), QString());
        QCOMPARE(jpegMessage(FormatError), "File Format Error");
        QCOMPARE(jpegMessage(OpenError), "File Open Error");
        QCOMPARE(jpegMessage(EncoderError), "Stack Overflow");
    }

    // The windows' tiles carry the screen's resolution, quilton-batch's Qt's
    // default: both must write the same file for the same tile, 24 bits at
    // 96 dpi. An odd width makes the rows padded to four bytes.
    void bmpIsExact24BitsWhateverTheResolution()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("tile.bmp");
        for (QImage picture : {randomImage(37, 23, 1),
                               randomImage(100, 50, 2).convertToFormat(QImage::Format_ARGB32),
                               randomImage(31, 7, 3).convertToFormat(QImage::Format_Grayscale8)}) {
            picture.setDotsPerMeterX(5669);
            picture.setDotsPerMeterY(2835);
            QVERIFY(saveBmp(picture, path));
            QCOMPARE(readAll(path).mid(28, 2), "\x18\x00"_ba);                 // 24 bits per pixel
            QCOMPARE(readAll(path).mid(38, 8), "\xc4\x0e\0\0\xc4\x0e\0\0"_ba); // 3780 per metre
            QCOMPARE(QImage(path).convertToFormat(QImage::Format_RGB32),
                     picture.convertToFormat(QImage::Format_RGB32));
        }
    }

    // Anything at a tile's name but a regular file or nothing is refused with
    // a message and left as it was: never replaced by a regular file, nothing
    // made.
    // (A pipe and a folder there: tst_batch_cli's "pipe at a tile's name" and
    // "folder at a tile's name".)
    void bmpOnlyOverRegularFiles()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("link");
        QCOMPARE(symlink("/dev/null", QFile::encodeName(link).constData()), 0);
        const std::tuple<QString, Failure, QString> rows[] = {
            {"/dev/full", Failure::NotRegularFile, "it is not a regular file (a device)"},
            {link, Failure::NotRegularFile, "it is not a regular file (a device)"},
            {dir.filePath("no/t.bmp"), Failure::Missing, "no such file or folder"},
        };
        for (const auto& [path, failure, message] : rows) {
            QString error;
            Failure kind = Failure::None;
            QVERIFY(!saveBmp(randomImage(20, 20, 1), path, &error, &kind));
            QVERIFY2(error == message && kind == failure && !QFileInfo(path).isFile(),
                     qPrintable(path + ": " + error));
        }
        QCOMPARE(folderEntries(dir.path()), QStringList{"link"});
    }

    // A file written over, as BMP or through the JPEG library, keeps its
    // permissions; through a symbolic link the file it names is replaced and
    // the link stays. A write that fails as on a full disc (the disc really
    // full: tst_batch_cli's "full disc") keeps the file and leaves nothing.
    void writingOverAFile()
    {
        const QImage grey = flatImage(9, 4, qRgb(90, 90, 90)); // exact in a JPEG too
        const auto mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        for (const bool jpeg : {false, true}) {
            QTemporaryDir dir;
            const QString file = dir.filePath("t"), link = dir.filePath("link");
            const auto write = [&](const QImage& picture) {
                return jpeg ? saveJpeg(kLibrary, picture, link, 100) == Saved
                            : saveBmp(picture, link);
            };
            QVERIFY(writeBytes(file, "old") && QFile::setPermissions(file, mode));
            QVERIFY(QFile::link(file, link) && write(grey));
            {
                const FileSizeLimit limit(100);
                QVERIFY(!write(randomImage(200, 200, 5)));
            }
            QVERIFY(QFileInfo(link).isSymLink());
            QCOMPARE(QImage(file).convertToFormat(QImage::Format_RGB32), grey);
            QCOMPARE(QFile::permissions(file), mode | QFile::ReadUser | QFile::WriteUser);
            QCOMPARE(folderEntries(dir.path()), (QStringList{"link", "t"}));
        }
    }

    // What killed writers leave is removed at the next write into the folder;
    // what a live writer holds, what is young and may belong to one, and
    // files of the user's that merely look alike, stay.
    void leftoversOfDeadWritersGo()
    {
        const QString dead = deadPid(), alive = QString::number(getpid());
        // Name, contents, age in seconds, locked by a writer, removed.
        const std::tuple<QString, QByteArray, int, bool, bool> rows[] = {
            {".quilton-" + dead + "-0000abcd.tmp", "BM", 0, false, true},   // dead writer
            {".savejpg-" + dead + "-1234abcd.tmp", "", 0, false, true},     // dead JPEG writer
            {".quilton-" + alive + "-0000abcd.tmp", "BM", 0, false, false}, // live, young
            {".savejpg-" + alive + "-0000abcd.tmp", "x", 120, false, true}, // live pid, old
            {".quilton-" + dead + "-0000abcd.tmp", "BM", 120, true, false}, // held by a writer
            {"p(A).bmp.Ab3xY9", "BM\x10", 120, false, true},    // earlier writer's bitmap, old
            {"quilton.ini.k3Jd9Q", "[A]", 120, false, true},    // earlier writer's settings, old
            {"p(A).bmp.Ab3xY9", "BM", 0, false, false},         // earlier writer's bitmap, young
            {".quilton-batch-a8Zk2Q", "", 120, false, true},    // earlier output folder check
            {"p.bmp.backup", "BM", 120, false, false},          // user's backup
            {"p.bmp.Ab3xY9", "text", 120, false, false},        // user's text
            {".quilton-x-0000abcd.tmp", "", 120, false, false}, // no pid
        };
        for (const auto& [name, contents, age, locked, removed] : rows) {
            QTemporaryDir dir;
            const QString path = dir.filePath(name);
            QVERIFY(writeBytes(path, contents) && (age == 0 || makeOld(path, age)));
            QFile holder(path);
            QVERIFY(!locked ||
                    (holder.open(QIODevice::ReadOnly) && flock(holder.handle(), LOCK_EX) == 0));
            QVERIFY2(AtomicFile::removeLeftovers(dir.path(), true) == int(removed) &&
                         QFileInfo::exists(path) != removed,
                     qPrintable(name + ' ' + QString::number(age)));
        }
    }

    // The page's background is the picture's file address: the program
    // folder's Sample.jpg (with the JPEG library) or Sample.bmp, or the
    // picture given. Characters that end the attribute become references;
    // those a browser would misread in an address are percent-encoded.
    void pageIsTheTableWithThePicturesFileAddress()
    {
        const std::tuple<QString, QString, bool, QString> rows[] = {
            {"/opt/q", "", true, "file:///opt/q/Sample.jpg"},
            {"/opt/q/", "", false, "file:///opt/q/Sample.bmp"},
            {"/opt/q", "/out/x(A).jpg", true, "file:///out/x(A).jpg"},
            {"", "", true, "file:///Sample.jpg"}, // the root folder
            {"/q", "/t/\"x\"<y>&50%#1?\\ é.bmp", true,
             "file:///t/%22x%22%3Cy%3E&amp;50%25%231%3F%5C%20%C3%A9.bmp"},
        };
        for (const auto& [program, given, jpegFlag, attribute] : rows)
            QVERIFY2(SampleHtml::pageBytes(SampleHtml::picturePath(program, given, jpegFlag)) ==
                         expectedPage(attribute),
                     qPrintable(attribute));
    }

    // Written over a longer file, the page replaces it whole (a missing folder
    // is an error), and Chromium shows the tile behind it.
    void writtenPageInChromium()
    {
        // A folder name with characters a browser would misread in an address.
        QTemporaryDir dir;
        const QString folder = dir.filePath("sample \\ #1 50% 見本"),
                      page = folder + "/Sample.html";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(saveBmp(flatImage(100, 100, 0xff3c8ad2), folder + "/Sample.bmp"));
        QVERIFY(writeBytes(page, QByteArray(50000, 'x')));
        QString error;
        QVERIFY2(SampleHtml::writePage(page, folder + "/Sample.bmp", &error), qPrintable(error));
        QCOMPARE(readAll(page), SampleHtml::pageBytes(folder + "/Sample.bmp"));
        QVERIFY(!SampleHtml::writePage(dir.filePath("missing/Sample.html"), "/p.bmp", &error));
        QVERIFY(!error.isEmpty());

        const QString png = dir.filePath("shot.png");
        QProcess chromium; // killed, if still running, when the test ends
        chromium.start("/usr/bin/chromium",
                       {"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                        "--disable-background-networking", "--hide-scrollbars",
                        "--disable-component-update", "--user-data-dir=" + dir.filePath("profile"),
                        "--dump-dom", "--screenshot=" + png, "--window-size=1200,800",
                        QUrl::fromLocalFile(page).toString(QUrl::FullyEncoded)});
        QVERIFY2(chromium.waitForFinished(90000) && chromium.exitStatus() == QProcess::NormalExit,
                 "/usr/bin/chromium did not run (Debian package chromium, scripts/deps.sh test)");
        const QString dom = chromium.readAllStandardOutput();
        QVERIFY2(dom.contains("<title>表示サンプル</title>"), qPrintable(dom.left(500)));
        QCOMPARE(dom.count(kNote), 65);
        // The body margin shows nothing but the background picture.
        const QColor seen = QImage(png).pixelColor(2, 2);
        QVERIFY2(qAbs(seen.red() - 0x3C) + qAbs(seen.green() - 0x8A) + qAbs(seen.blue() - 0xD2) <=
                     6,
                 qPrintable(seen.name()));
    }
};

QUILTON_TEST_MAIN(tst_picturesaver)
#include "tst_picturesaver.moc"
