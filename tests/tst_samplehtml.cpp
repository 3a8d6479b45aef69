#include "TestEnv.h"

#include "output/PictureSaver.h"
#include "output/SampleHtml.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QUrl>

namespace {

const QString kNote = QStringLiteral(
    "実際に背景として使用する場合は、表示可能な形式（JPG/GIF等）に変換してください。");

QStringList linesOf(const QByteArray& bytes)
{
    QStringList lines = QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n"));
    return lines;
}

const QString kChromium = QStringLiteral("/usr/bin/chromium");

// Runs headless Chromium on a page with a fresh profile; its standard output.
QByteArray runChromium(const QStringList& extra, bool* ok)
{
    QTemporaryDir profile;
    QStringList arguments{QStringLiteral("--headless"),
                          QStringLiteral("--no-sandbox"),
                          QStringLiteral("--disable-gpu"),
                          QStringLiteral("--disable-quic"),
                          QStringLiteral("--no-first-run"),
                          QStringLiteral("--disable-background-networking"),
                          QStringLiteral("--disable-component-update"),
                          QStringLiteral("--disable-sync"),
                          QStringLiteral("--hide-scrollbars"),
                          QStringLiteral("--user-data-dir=") + profile.path()};
    arguments += extra;
    QProcess chromium;
    chromium.start(kChromium, arguments);
    *ok = chromium.waitForStarted(10000) && chromium.waitForFinished(90000) &&
          chromium.exitStatus() == QProcess::NormalExit;
    if (chromium.state() != QProcess::NotRunning) {
        chromium.kill();
        chromium.waitForFinished(5000);
    }
    return chromium.readAllStandardOutput();
}

} // namespace

class tst_samplehtml : public QObject
{
    Q_OBJECT

private slots:
    void pageHas74LinesEndingInCrLf();
    void colourLinesInOrder();
    void picturePathAndFolder_data();
    void picturePathAndFolder();
    void attributeIsEscaped_data();
    void attributeIsEscaped();
    void writePageAndFailure();
    void chromiumShowsTheTileBehindThePage();
};

void tst_samplehtml::pageHas74LinesEndingInCrLf()
{
    const QByteArray bytes = SampleHtml::pageBytes(QStringLiteral("/opt/q/Sample.jpg"));
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    QVERIFY(bytes.endsWith("</html>\r\n"));
    QCOMPARE(bytes.count('\n'), 74);
    QCOMPARE(bytes.count("\r\n"), 74);
    QCOMPARE(bytes.count('\r'), 74);

    const QStringList lines = linesOf(bytes);
    QCOMPARE(lines.size(), 75); // the last line end leaves an empty tail
    QCOMPARE(lines.last(), QString());
    QCOMPARE(SampleHtml::pageLines(QStringLiteral("/opt/q/Sample.jpg")), lines.mid(0, 74));

    QCOMPARE(lines[0], QStringLiteral("<html>"));
    QCOMPARE(lines[1], QStringLiteral("<title>表示サンプル</title>"));
    QCOMPARE(lines[2], QStringLiteral("<body style=\"background-attachment:fixed\" "
                                      "background=\"/opt/q/Sample.jpg\" alink=blue link=pink>"));
    QCOMPARE(lines[3], QStringLiteral("<center><table border=3 bgcolor=lightyellow><tr><th>"));
    QCOMPARE(lines[4],
             QStringLiteral("<font color=red>◆『ぼかし』や『明度調整』を行うと見やすくなります。"
                            "</font><br>"));
    const QString home = QString::fromLatin1(SampleHtml::kHomePage);
    QCOMPARE(lines[5], QString(QStringLiteral("<a href=\"") + home + QStringLiteral("\">") + home +
                               QStringLiteral("</a></th></tr></table><p></center>")));
    QCOMPARE(lines[6], QStringLiteral("<br><blockquote>"));
    QCOMPARE(lines[72], QStringLiteral("</body>"));
    QCOMPARE(lines[73], QStringLiteral("</html>"));
}

void tst_samplehtml::colourLinesInOrder()
{
    const QStringList lines = SampleHtml::pageLines(QStringLiteral("/p.bmp"));
    QCOMPARE(lines.size(), 74);
    QCOMPARE(lines[7], QString(QStringLiteral("<font color=#FF0000><B>FF0000</B> : ") + kNote +
                               QStringLiteral("</font><br>")));
    QCOMPARE(lines[71], QString(QStringLiteral("<font color=#FAFAFA><B>FAFAFA</B> : ") + kNote +
                                QStringLiteral("</font><br></blockquote>")));

    QStringList codes;
    const QRegularExpression pattern(
        QStringLiteral("^<font color=#([0-9A-F]{6})><B>\\1</B> : (.*)</font><br>$"));
    for (int i = 7; i < 72; ++i) {
        QString line = lines[i];
        if (i == 71)
            line.chop(QStringLiteral("</blockquote>").size());
        const QRegularExpressionMatch m = pattern.match(line);
        QVERIFY2(m.hasMatch(), qPrintable(line));
        QCOMPARE(m.captured(2), kNote);
        codes << m.captured(1);
    }
    QCOMPARE(codes.size(), 65);
    QCOMPARE(codes.mid(0, 6),
             (QStringList{"FF0000", "0000FF", "FFFFFF", "000000", "FFFF00", "7C6035"}));
    QCOMPARE(codes[13], QStringLiteral("272672"));
    QCOMPARE(codes[29], QStringLiteral("774635"));
    QCOMPARE(codes[48], QStringLiteral("FAFAFA"));
    QCOMPARE(codes[63], QStringLiteral("164082"));
    QCOMPARE(codes[64], QStringLiteral("FAFAFA"));
    // FAFAFA twice, the other 63 all different.
    QCOMPARE(QSet<QString>(codes.begin(), codes.end()).size(), 64);
}

void tst_samplehtml::picturePathAndFolder_data()
{
    QTest::addColumn<QString>("programFolder");
    QTest::addColumn<QString>("given");
    QTest::addColumn<bool>("jpegFlag");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("picture");
    QTest::newRow("with the library") << "/opt/q"
                                      << "" << true << "/opt/q/"
                                      << "/opt/q/Sample.jpg";
    QTest::newRow("without the library") << "/opt/q"
                                         << "" << false << "/opt/q/"
                                         << "/opt/q/Sample.bmp";
    QTest::newRow("given path") << "/opt/q"
                                << "/out/x(A).jpg" << false << "/opt/q/"
                                << "/out/x(A).jpg";
    QTest::newRow("root as empty text") << ""
                                        << "" << true << "/"
                                        << "/Sample.jpg";
    QTest::newRow("root with slash") << "/"
                                     << "" << false << "/"
                                     << "/Sample.bmp";
    QTest::newRow("folder ending in slash") << "/opt/q/"
                                            << "" << false << "/opt/q/"
                                            << "/opt/q/Sample.bmp";
}

void tst_samplehtml::picturePathAndFolder()
{
    QFETCH(QString, programFolder);
    QFETCH(QString, given);
    QFETCH(bool, jpegFlag);
    QFETCH(QString, folder);
    QFETCH(QString, picture);
    QCOMPARE(SampleHtml::pageFolder(programFolder), folder);
    QCOMPARE(SampleHtml::picturePath(programFolder, given, jpegFlag), picture);
}

void tst_samplehtml::attributeIsEscaped_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("attribute");
    QTest::newRow("plain") << "/a b/Sample.bmp"
                           << "/a b/Sample.bmp";
    QTest::newRow("quote and markup") << "/t/\"x\"<y>&z.bmp"
                                      << "/t/&quot;x&quot;&lt;y&gt;&amp;z.bmp";
    QTest::newRow("address characters") << "/t/50%#1?.bmp"
                                        << "/t/50%25%231%3F.bmp";
    QTest::newRow("japanese") << "/写真/タイル.jpg"
                              << "/写真/タイル.jpg";
}

void tst_samplehtml::attributeIsEscaped()
{
    QFETCH(QString, path);
    QFETCH(QString, attribute);
    const QString line = SampleHtml::pageLines(path).at(2);
    QCOMPARE(line,
             QString(QStringLiteral("<body style=\"background-attachment:fixed\" background=\"") +
                     attribute + QStringLiteral("\" alink=blue link=pink>")));
}

void tst_samplehtml::writePageAndFailure()
{
    QTemporaryDir dir;
    const QString page = dir.filePath(QStringLiteral("Sample.html"));
    const QString picture = dir.filePath(QStringLiteral("Sample.bmp"));
    QString error;
    QVERIFY2(SampleHtml::writePage(page, picture, &error), qPrintable(error));
    QFile file(page);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), SampleHtml::pageBytes(picture));
    file.close();

    // Rewriting replaces the whole page.
    QVERIFY(SampleHtml::writePage(page, QStringLiteral("/other.bmp"), &error));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), SampleHtml::pageBytes(QStringLiteral("/other.bmp")));
    file.close();

    const QString missing = dir.filePath(QStringLiteral("missing/Sample.html"));
    QVERIFY(!SampleHtml::writePage(missing, picture, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(!QFileInfo::exists(missing));
}

void tst_samplehtml::chromiumShowsTheTileBehindThePage()
{
    if (!QFileInfo(kChromium).isExecutable())
        QSKIP("/usr/bin/chromium is not installed (Debian package chromium): the page is not "
              "checked in a real browser");

    // A folder name with characters a browser would misread in an address.
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("sample #1 50%"));
    QVERIFY(QDir().mkpath(folder));
    const QString picture = folder + QStringLiteral("/Sample.bmp");
    const QString page = folder + QStringLiteral("/Sample.html");
    const QColor tile(0x3C, 0x8A, 0xD2);
    QImage flat(100, 100, QImage::Format_RGB32);
    flat.fill(tile);
    QVERIFY(PictureSaver::saveBmp(flat, picture));
    QVERIFY(SampleHtml::writePage(page, picture));
    const QString url = QUrl::fromLocalFile(page).toString(QUrl::FullyEncoded);

    bool ok = false;
    const QString dom = QString::fromUtf8(runChromium({QStringLiteral("--dump-dom"), url}, &ok));
    QVERIFY2(ok, "headless Chromium did not finish");
    QVERIFY2(dom.contains(QStringLiteral("表示サンプル")), qPrintable(dom.left(500)));
    QVERIFY(dom.contains(QStringLiteral("◆『ぼかし』や『明度調整』を行うと見やすくなります。")));
    QVERIFY(dom.contains(QStringLiteral("background=\"") + dir.path() +
                         QStringLiteral("/sample %231 50%25/Sample.bmp\"")));
    QCOMPARE(dom.count(kNote), 65);

    const QString png = dir.filePath(QStringLiteral("shot.png"));
    runChromium(
        {QStringLiteral("--screenshot=") + png, QStringLiteral("--window-size=1200,800"), url},
        &ok);
    QVERIFY2(ok, "headless Chromium did not finish");
    const QImage shot(png);
    QVERIFY2(!shot.isNull(), "no screenshot");
    // Top-left corner (the body margin) and the right side beside the text
    // lines show nothing but the background picture.
    for (const QPoint p : {QPoint(2, 2), QPoint(shot.width() - 20, shot.height() / 2),
                           QPoint(shot.width() - 20, shot.height() - 5)}) {
        const QColor seen = shot.pixelColor(p);
        QVERIFY2(
            qAbs(seen.red() - tile.red()) <= 2 && qAbs(seen.green() - tile.green()) <= 2 &&
                qAbs(seen.blue() - tile.blue()) <= 2,
            qPrintable(QStringLiteral("(%1,%2) is %3").arg(p.x()).arg(p.y()).arg(seen.name())));
    }
}

QUILTON_TEST_MAIN(tst_samplehtml)
#include "tst_samplehtml.moc"
