// Writing tiles: BMP through Qt's writer, JPEG through the SaveJPG.so library
// (called directly and as the program calls it), the leftovers of killed
// writers, and the sample page: its bytes against the page written out here
// line by line, and the page with its picture in real Chromium. Finding and
// installing the JPEG library at start-up, and the file versions it is judged
// by.
#include "TestEnv.h"
#include "support/FileFixtures.h"
#include "support/Leftovers.h"
#include "support/PictureChecks.h"
#include "support/TestInstall.h"

#include "app/JpegLibrary.h"
#include "app/SaveJpgLoader.h"
#include "app/mGetFileVer.h"
#include "output/PictureSaver.h"
#include "output/SampleHtml.h"
#include "platform/AtomicFile.h"

#include <QUrl>

#include <dlfcn.h>
#include <sys/file.h>
#include <sys/stat.h>

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

// A stand-in library file carrying the given version (none unless a.b.c.d).
static QByteArray libraryBytes(const QString& version, char tag)
{
    const QStringList p = version.split('.');
    const QByteArray block = p.size() != 4 ? QByteArray()
                                           : versionBlock(p[0].toUShort(), p[1].toUShort(),
                                                          p[2].toUShort(), p[3].toUShort());
    return QByteArray(1024, tag) + block + QByteArray(512, tag);
}

// The program folder's copy, the user's copy in the system folder and the
// installed package's copy: a.b.c.d, "" (no version) or "none" (no such
// file); for the user's copy also "gone" (nor its folder) and "blocked" (a
// file where its folder would be). Then: installing (run from its own folder),
// a copy installed now, the copy in use ("user", "package", "none"), and the
// program's arguments.
using Row = std::tuple<QString, QString, QString, bool, bool, QString, QStringList>;

Q_DECLARE_METATYPE(Row)

class tst_output : public QObject
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
    // made. A pipe would block a plain writer until someone reads it. (A
    // folder there: tst_batch_cli's "folder at a tile's name".)
    void bmpOnlyOverRegularFiles()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("link"), fifo = dir.filePath("fifo");
        QCOMPARE(symlink("/dev/null", QFile::encodeName(link).constData()), 0);
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0644), 0);
        const std::tuple<QString, Failure, QString> rows[] = {
            {fifo, Failure::NotRegularFile, "it is not a regular file (a pipe)"},
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
        QCOMPARE(folderEntries(dir.path()), (QStringList{"fifo", "link"}));
    }

    // A file written over, as BMP or through the JPEG library, keeps its
    // permissions; through a symbolic link the file it names is replaced and
    // the link stays. A write that fails as on a full disc (the disc really
    // full: tst_batch_cli's "full disc"), or has no picture to write, keeps
    // the file and leaves nothing.
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
            QVERIFY(!write(QImage())); // nothing to write
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

    // Which copy is used, what is installed and what is kept. The program's
    // copy is named in other letter case ("savejpg.SO"), which counts. It is
    // kept when an argument holds "/C" anywhere, in that letter case.
    void lookUpAndInstall_data()
    {
        QTest::addColumn<Row>("row");
        const auto row = [](const char* name, const Row& r) { QTest::newRow(name) << r; };
        row("absent", {"none", "gone", "none", true, false, "none", {}});
        row("newer: installed, deleted",
            {"1.0.0.3", "1.0.0.2", "none", true, true, "user", {"/c", "/", "C"}});
        row("newer with /C: installed, kept",
            {"1.0.0.3", "1.0.0.2", "none", true, true, "user", {"a", "x/Cy"}});
        row("equal: left alone", {"1.0.0.2", "1.0.0.2", "none", true, false, "user", {}});
        row("program copy without version", {"", "1.0.0.2", "none", true, false, "user", {}});
        row("system copy without version", {"0.0.0.1", "", "none", true, true, "user", {}});
        // Presence is decided before installing.
        row("no system copy: folder made", {"1.0.0.2", "gone", "none", true, true, "none", {}});
        row("parts above 32767 as numbers",
            {"1.0.40000.0", "1.0.32767.9", "none", true, true, "user", {}});
        // A failed install keeps what was decided, and the program's copy.
        row("system folder cannot be made",
            {"1.0.0.3", "blocked", "none", true, false, "none", {}});
        // Installed, the package's copy counts as present and the user's own
        // copy wins only when newer; nothing is installed from the program's
        // folder.
        row("package copy alone", {"9.0.0.0", "none", "1.0.0.2", false, false, "package", {}});
        row("user copy as new", {"9.0.0.0", "1.0.0.2", "1.0.0.2", false, false, "package", {}});
        row("newer user copy wins", {"9.0.0.0", "1.0.0.3", "1.0.0.2", false, false, "user", {}});
        row("package copy missing", {"9.0.0.0", "1.0.0.1", "none", false, false, "user", {}});
        row("neither", {"9.0.0.0", "none", "none", false, false, "none", {}});
    }
    void lookUpAndInstall()
    {
        QFETCH(Row, row);
        const auto& [offered, user, package, installing, installs, inUse, arguments] = row;
        QTemporaryDir dir; // the program's folder
        const QString system = dir.filePath("lib"), systemCopy = system + "/SaveJPG.so";
        const QString programCopy = dir.filePath("savejpg.SO"), packageCopy = dir.filePath("p.so");
        const bool present = !QStringList{"none", "gone", "blocked"}.contains(user);
        QVERIFY(offered == "none" || writeBytes(programCopy, libraryBytes(offered, 'p')));
        QVERIFY(user == "blocked" ? writeBytes(system, "file")
                                  : user == "gone" || QDir().mkpath(system));
        QVERIFY(!present || writeBytes(systemCopy, libraryBytes(user, 's')));
        QVERIFY(package == "none" || writeBytes(packageCopy, libraryBytes(package, 'k')));
        // A running program may have the old copy loaded: a new one must
        // arrive as a new file, not be written into the old one.
        QFile oldCopy(systemCopy);
        QVERIFY(!present || oldCopy.open(QIODevice::ReadOnly));

        const JpegLibraryPlaces places{system, packageCopy, dir.path(), installing};
        const bool keep = JpegLibrary::keepsProgramCopy(arguments);
        const JpegLibraryState state = JpegLibrary::lookUpAndInstall(places, keep);
        QCOMPARE(state.libraryPath, inUse == "package" ? packageCopy : systemCopy);
        QCOMPARE(state.jpegFlag, inUse != "none");
        // The line shows the version in use after the install step.
        const QString version = installs ? offered : inUse == "package" ? package : user;
        QCOMPARE(state.dllVersionText, inUse == "none"
                                           ? u"[TalvikJPEG保存DLLがありません]"_s
                                           : u"[ with TalvikJPEG保存DLL Ver."_s + version + " ]");
        QCOMPARE(state.installed, installs);
        QCOMPARE(readAll(systemCopy), installs  ? libraryBytes(offered, 'p')
                                      : present ? libraryBytes(user, 's')
                                                : QByteArray());
        if (present)
            QCOMPARE(oldCopy.readAll(), libraryBytes(user, 's'));
        QCOMPARE(QFileInfo::exists(programCopy), offered != "none" && (!installs || keep));
        // No temporary file stays behind in the system folder.
        QCOMPARE(folderEntries(system).size(), present || installs ? 1 : 0);
        // The next start counts what this one installed, and installs nothing.
        const JpegLibraryState next = JpegLibrary::lookUpAndInstall(places, keep);
        QVERIFY(next.jpegFlag == (state.jpegFlag || installs) && !next.installed);
    }

    // Versions read from files made here, as text and as parts. (A missing
    // file and a block after other bytes are the install table's.)
    void fileVersions()
    {
        QTemporaryDir dir;
        const QByteArray block = versionBlock(1, 0, 0, 2), x(100, 'x');
        const std::tuple<const char*, QByteArray, QString> rows[] = {
            {"parts above 32767, each in its place", x + versionBlock(40000, 65535, 32768, 1),
             "40000.65535.32768.1"},
            {"no block", x, ""},
            {"truncated block", x + block.left(51), ""},
            {"unaligned block skipped, first aligned one found",
             x.left(2) + versionBlock(9, 9, 9, 9) + x.left(2) + block + versionBlock(2, 0, 0, 0),
             "1.0.0.2"},
            // Files are read 64 KiB at a time.
            {"block straddling a read", QByteArray(65536 - 20, 'x') + block, "1.0.0.2"},
        };
        for (const auto& [name, bytes, text] : rows) {
            const QString path = dir.filePath(name);
            QVERIFY(writeBytes(path, bytes));
            const FileVersion v = mGetFileVer::GetFileVersion(path);
            QVERIFY2(mGetFileVer::GetFileVersionText(path) == text &&
                         u"%1.%2.%3.%4"_s.arg(v.major).arg(v.minor).arg(v.build).arg(v.revision) ==
                             (text.isEmpty() ? "0.0.0.0" : text),
                     name);
        }
        // The built SaveJPG.so's 1.0.0.2 is the about box's (tst_frmmain). This
        // program links the scanner but holds no block, not even at an
        // unaligned offset where only luck would skip it.
        const QByteArray self = readAll(QCoreApplication::applicationFilePath());
        QCOMPARE(self.indexOf(versionBlock(0, 0, 0, 0).left(4)), -1);
    }
};

QUILTON_TEST_MAIN(tst_output)
#include "tst_output.moc"
