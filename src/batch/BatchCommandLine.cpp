#include "batch/BatchCommandLine.h"

#include "app/inifile_IO.h"
#include "platform/FileCheck.h"

#include <QFileInfo>

#include <map>

namespace {

// Letter A..D (either case) to tile index, -1 otherwise.
int tileOfLetter(QChar c)
{
    const QChar u = c.toUpper();
    if (u >= QLatin1Char('A') && u <= QLatin1Char('D'))
        return u.unicode() - 'A';
    return -1;
}

// A whole decimal number (optional sign) or nullopt.
std::optional<int> wholeNumber(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

// The effects without a level: their name, code and tick.
struct PlainEffect
{
    const char* name;
    int code;
    bool TileEffects::*ticked;
};

const PlainEffect* plainEffect(const QString& name)
{
    static const PlainEffect kPlainEffects[] = {
        {"block", kBlock, &TileEffects::block},
        {"emboss", kEmboss, &TileEffects::emboss},
        {"gray", kGray, &TileEffects::gray},
        {"contrast", kContrast, &TileEffects::contrast},
    };
    for (const PlainEffect& e : kPlainEffects) {
        if (name == QLatin1String(e.name))
            return &e;
    }
    return nullptr;
}

// "light:P", "blur:N", "block", "emboss", "gray", "contrast" or "none", comma
// separated, into the effects of one tile (produce is left alone).
bool parseEffectList(const QString& list, TileEffects* fx, QString* error)
{
    TileEffects result;
    result.produce = fx->produce;
    const QStringList items = list.split(QLatin1Char(','));
    if (list.trimmed() == QLatin1String("none")) {
        *fx = result;
        return true;
    }
    std::array<bool, 6> seen{};
    for (const QString& raw : items) {
        const QString item = raw.trimmed().toLower();
        const qsizetype colon = item.indexOf(QLatin1Char(':'));
        const QString name = colon < 0 ? item : item.left(colon);
        const QString level = colon < 0 ? QString() : item.mid(colon + 1);
        int code = -1;
        if (name == QLatin1String("light")) {
            code = kLight;
            const std::optional<int> p = wholeNumber(level);
            if (!p || *p == 0 || *p < -50 || *p > 50 || *p % 10 != 0) {
                *error = QStringLiteral("light needs a level of -50..-10 or 10..50 in steps of "
                                        "10, as light:-30 or light:20 (got \"%1\")")
                             .arg(raw.trimmed());
                return false;
            }
            result.light = true;
            result.lightIndex = *p < 0 ? (*p + 50) / 10 : *p / 10 + 4;
        } else if (name == QLatin1String("blur")) {
            code = kBlur;
            const std::optional<int> n = level.isEmpty() && colon < 0 ? 1 : wholeNumber(level);
            if (!n || *n < 1 || *n > 3) {
                *error = QStringLiteral("blur takes 1, 2 or 3 passes, as blur:2 (got \"%1\")")
                             .arg(raw.trimmed());
                return false;
            }
            result.blur = true;
            result.blurIndex = *n - 1;
        } else if (const PlainEffect* plain = colon < 0 ? plainEffect(name) : nullptr) {
            code = plain->code;
            result.*plain->ticked = true;
        } else {
            *error = QStringLiteral("unknown effect \"%1\"; the effects are light:P, blur:N, "
                                    "block, emboss, gray, contrast (or none)")
                         .arg(raw.trimmed());
            return false;
        }
        if (seen[code]) {
            *error = QStringLiteral("effect \"%1\" is given twice for one tile").arg(name);
            return false;
        }
        seen[code] = true;
    }
    *fx = result;
    return true;
}

std::optional<std::array<int, 6>> parseOrderOption(const QString& text)
{
    if (text.size() != 6)
        return std::nullopt;
    std::array<int, 6> order{};
    std::array<bool, 6> seen{};
    for (int p = 0; p < 6; ++p) {
        const int d = text.at(p).unicode() - '0';
        if (d < 0 || d > 5 || seen[d])
            return std::nullopt;
        seen[d] = true;
        order[p] = d;
    }
    return order;
}

std::optional<std::array<bool, 3>> parseTypes(const QString& text)
{
    std::array<bool, 3> types{};
    const QStringList items = text.split(QLatin1Char(','));
    for (const QString& raw : items) {
        QString t = raw.trimmed().toLower();
        if (t.startsWith(QLatin1String("*.")))
            t = t.mid(2);
        else if (t.startsWith(QLatin1Char('.')))
            t = t.mid(1);
        if (t == QLatin1String("bmp"))
            types[0] = true;
        else if (t == QLatin1String("jpg"))
            types[1] = true;
        else if (t == QLatin1String("gif"))
            types[2] = true;
        else
            return std::nullopt;
    }
    return types;
}

} // namespace

std::optional<BatchCommandLine> BatchCommandLine::parse(const QStringList& arguments,
                                                        int defaultJobs, QString* error)
{
    BatchCommandLine cl;
    cl.jobs = std::max(1, defaultJobs);
    QStringList positional;
    // Options are gathered first and applied over the settings file after.
    std::optional<QString> settingsFile, tiles, order, format, quality, types, jobs, memory;
    std::map<int, QString> effects; // tile -> its last --effect list

    const QStringList withValue{
        QStringLiteral("--tiles"),    QStringLiteral("--effect"),  QStringLiteral("--order"),
        QStringLiteral("--format"),   QStringLiteral("--quality"), QStringLiteral("--types"),
        QStringLiteral("--settings"), QStringLiteral("--jobs"),    QStringLiteral("--memory")};
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString arg = arguments.at(i);
        // "-h" is the one short option; any other single-dash word is a name.
        if (optionsEnded || (!arg.startsWith(QLatin1String("--")) && arg != QLatin1String("-h"))) {
            positional.append(arg);
            continue;
        }
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = arg;
        std::optional<QString> value;
        const qsizetype eq = arg.indexOf(QLatin1Char('='));
        if (eq > 0) {
            name = arg.left(eq);
            value = arg.mid(eq + 1);
        }
        if (name == QLatin1String("--help") || name == QLatin1String("-h")) {
            cl.help = true;
            return cl;
        }
        if (name == QLatin1String("--version")) {
            cl.version = true;
            return cl;
        }
        if (name == QLatin1String("--half") || name == QLatin1String("--chamfer")) {
            if (value) {
                *error = QStringLiteral("%1 takes no value").arg(name);
                return std::nullopt;
            }
            (name == QLatin1String("--half") ? cl.half : cl.chamfer) = true;
            continue;
        }
        if (!withValue.contains(name)) {
            *error = QStringLiteral("unknown option \"%1\"").arg(arg);
            return std::nullopt;
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                *error = QStringLiteral("%1 needs a value").arg(name);
                return std::nullopt;
            }
            value = arguments.at(++i);
        }
        if (name == QLatin1String("--effect")) {
            const qsizetype sep = value->indexOf(QLatin1Char('='));
            const int tile = sep == 1 ? tileOfLetter(value->at(0)) : -1;
            if (tile < 0) {
                *error = QStringLiteral("--effect needs a tile letter A..D, '=' and a list, as "
                                        "--effect A=light:-30,blur:2 (got \"%1\")")
                             .arg(*value);
                return std::nullopt;
            }
            effects[tile] = value->mid(2);
        } else if (name == QLatin1String("--tiles")) {
            tiles = value;
        } else if (name == QLatin1String("--order")) {
            order = value;
        } else if (name == QLatin1String("--format")) {
            format = value;
        } else if (name == QLatin1String("--quality")) {
            quality = value;
        } else if (name == QLatin1String("--types")) {
            types = value;
        } else if (name == QLatin1String("--settings")) {
            settingsFile = value;
        } else if (name == QLatin1String("--memory")) {
            memory = value;
        } else {
            jobs = value;
        }
    }

    if (positional.size() != 2) {
        *error = positional.size() < 2
                     ? QStringLiteral("INPUT and OUTPUT_DIR are both needed")
                     : QStringLiteral("too many arguments: \"%1\"").arg(positional.at(2));
        return std::nullopt;
    }
    cl.input = positional.at(0);
    cl.outputDir = positional.at(1);
    if (cl.input.isEmpty() || cl.outputDir.isEmpty()) {
        *error = QStringLiteral("INPUT and OUTPUT_DIR must not be empty");
        return std::nullopt;
    }

    // Defaults for a command line without a settings file: every input type.
    cl.settings.inputTypes = {true, true, true};
    if (settingsFile) {
        // A settings file named here must be read: the window's silent
        // defaults would run a batch the user did not ask for.
        if (const FileCheck::Problem p = FileCheck::readableFile(*settingsFile); !p.ok()) {
            *error = QStringLiteral("settings file \"%1\" cannot be read: %2")
                         .arg(*settingsFile, FileCheck::describe(p));
            return std::nullopt;
        }
        inifile_IO ini;
        ini.setFileName(*settingsFile);
        cl.settingsFile = *settingsFile;
        cl.settings = BatchSettings::read(ini, true);
        cl.unusedSettings = BatchSettings::unusableKeys(ini);
        cl.jpegAskedBySettings = cl.settings.jpegOutput;
        const QString jpeg = QStringLiteral("Jpeg"), value = QStringLiteral("Value");
        cl.quality = ini.ReadInt(jpeg, value, 50);
        const QString stored = ini.ReadStr(jpeg, value, QString());
        if (!stored.isEmpty() && cl.quality != ini.ReadInt(jpeg, value, 51))
            cl.unusedSettings.append(QStringLiteral("[Jpeg] Value=%1").arg(stored));
    }
    cl.settings.jpegOutput = false;

    for (const auto& [tile, list] : effects) {
        if (!parseEffectList(list, &cl.settings.tiles[tile], error)) {
            *error = QStringLiteral("--effect %1: %2")
                         .arg(QChar(QLatin1Char('A').unicode() + tile), *error);
            return std::nullopt;
        }
    }
    if (tiles) {
        std::array<bool, 4> produce{};
        for (QChar c : *tiles) {
            const int t = tileOfLetter(c);
            if (t < 0) {
                *error = QStringLiteral("--tiles takes letters A..D, as --tiles AC (got \"%1\")")
                             .arg(*tiles);
                return std::nullopt;
            }
            produce[t] = true;
        }
        if (tiles->isEmpty()) {
            *error = QStringLiteral("--tiles needs at least one of A, B, C, D");
            return std::nullopt;
        }
        for (int t = 0; t < 4; ++t)
            cl.settings.tiles[t].produce = produce[t];
    }
    if (order) {
        const auto parsed = parseOrderOption(*order);
        if (!parsed) {
            *error = QStringLiteral("--order takes six digits holding each of 0..5 once "
                                    "(0 brightness, 1 blur, 2 block, 3 emboss, 4 grayscale, "
                                    "5 contrast), as 012345 (got \"%1\")")
                         .arg(*order);
            return std::nullopt;
        }
        cl.settings.order = *parsed;
    }
    if (format) {
        const QString f = format->toLower();
        if (f != QLatin1String("bmp") && f != QLatin1String("jpg")) {
            *error = QStringLiteral("--format takes bmp or jpg (got \"%1\")").arg(*format);
            return std::nullopt;
        }
        cl.jpegByOption = f == QLatin1String("jpg");
    }
    if (quality) {
        const std::optional<int> q = wholeNumber(*quality);
        if (!q || *q < 1 || *q > 100) {
            *error =
                QStringLiteral("--quality takes a whole number 1..100 (got \"%1\")").arg(*quality);
            return std::nullopt;
        }
        cl.quality = *q;
        cl.qualityFromOption = true;
    }
    if (types) {
        const auto parsed = parseTypes(*types);
        if (!parsed) {
            *error = QStringLiteral("--types takes a comma list of bmp, jpg, gif (got \"%1\")")
                         .arg(*types);
            return std::nullopt;
        }
        cl.settings.inputTypes = *parsed;
    }
    if (jobs) {
        const std::optional<int> n = wholeNumber(*jobs);
        if (!n || *n < 1 || *n > 256) {
            *error = QStringLiteral("--jobs takes a whole number 1..256 (got \"%1\")").arg(*jobs);
            return std::nullopt;
        }
        cl.jobs = *n;
    }
    if (memory) {
        const std::optional<int> m = wholeNumber(*memory);
        if (!m || *m < 16 || *m > 1048576) {
            *error =
                QStringLiteral("--memory takes a whole number of MiB, 16..1048576 (got \"%1\")")
                    .arg(*memory);
            return std::nullopt;
        }
        cl.memoryMiB = *m;
    }
    return cl;
}

QString BatchCommandLine::usage()
{
    return QStringLiteral(
        "Usage: quilton-batch [options] INPUT OUTPUT_DIR\n"
        "\n"
        "Turns pictures into Quilton's four square tile designs A to D and writes\n"
        "each tile to OUTPUT_DIR as NAME(A).bmp .. NAME(D).bmp (or .jpg), NAME being\n"
        "the picture's file name without its extension: flower.jpg gives\n"
        "flower(A).bmp. Existing files of those names are replaced.\n"
        "\n"
        "INPUT is a picture file (BMP, GIF or JPEG) or a folder; of a folder, the\n"
        "files whose extension is one of the input types (letter case ignored) are\n"
        "taken in name order. OUTPUT_DIR is created when missing.\n"
        "\n"
        "Options:\n"
        "  --half              half-height tiles (100 x 50 instead of 100 x 100)\n"
        "  --chamfer           a grey chamfer edge on every tile\n"
        "  --tiles LETTERS     only these tiles, as --tiles AC (default ABCD)\n"
        "  --effect T=LIST     effects for tile T (A..D), a comma list of:\n"
        "                        light:P   brightness P percent: -50..-10 or 10..50,\n"
        "                                  in steps of 10\n"
        "                        blur:N    blur N times (1..3; blur alone is blur:1)\n"
        "                        block     block mosaic\n"
        "                        emboss    emboss\n"
        "                        gray      grayscale\n"
        "                        contrast  more contrast\n"
        "                        none      no effect (clears the settings file's)\n"
        "                      Repeatable for other tiles; it replaces the tile's effects\n"
        "                      from --settings and any earlier --effect for that tile.\n"
        "                      Example: --effect A=light:-30,blur:2 --effect C=gray\n"
        "  --order DIGITS      the order the effects are applied in: six digits holding\n"
        "                      each of 0..5 once, 0 brightness, 1 blur, 2 block,\n"
        "                      3 emboss, 4 grayscale, 5 contrast (default 012345)\n"
        "  --format bmp|jpg    output type (default bmp, or the settings file's)\n"
        "  --quality N         JPEG quality 1..100 (default the settings file's\n"
        "                      [Jpeg] Value, else 50)\n"
        "  --types LIST        input types for a folder, a comma list of bmp, jpg, gif\n"
        "                      (default all three, or the settings file's)\n"
        "  --settings FILE     take the effects, the order, the input and output types\n"
        "                      and the JPEG quality from a Quilton settings file\n"
        "                      (quilton.ini: sections Kouka, ImageType, Jpeg), read as\n"
        "                      the batch window reads them; options given here win.\n"
        "                      A file that cannot be read is an error; values that\n"
        "                      cannot be used as written are named on stderr\n"
        "  --jobs N            pictures done in parallel (default: the number of\n"
        "                      processors); the files written are the same for any N\n"
        "  --memory MIB        memory in MiB that decoding pictures may take at once,\n"
        "                      all jobs together (default 1024); jobs wait for each\n"
        "                      other to stay within it, and a picture that alone\n"
        "                      needs more is skipped as unreadable\n"
        "  --help              this text\n"
        "  -h, --help          this text\n"
        "  --version           the program's version\n"
        "\n"
        "JPEG output is written by SaveJPG.so, taken from ~/.local/lib (or the\n"
        "installed package's copy, unless the one in ~/.local/lib is newer) or else\n"
        "from beside this program. quilton-batch never installs or removes it; when it\n"
        "cannot be loaded, a JPEG run stops before anything is written. A settings\n"
        "file asking for JPEG output without the library gives BMP output, as the\n"
        "batch window does.\n"
        "\n"
        "Exit status:\n"
        "  0  every input picture was turned into tiles\n"
        "  1  some inputs could not be read as pictures (each is named on stderr,\n"
        "     no tile file is written for it; the others are done)\n"
        "  2  usage error, the JPEG library missing for JPEG output, the settings\n"
        "     file or input folder cannot be read, or the output folder or a tile\n"
        "     file cannot be written (the run stops at the first tile file that\n"
        "     cannot be written; files already written stay whole)\n"
        "\n"
        "File and folder names must be UTF-8 text; a file of a folder whose name is\n"
        "not is named on stderr as unreadable.\n");
}
