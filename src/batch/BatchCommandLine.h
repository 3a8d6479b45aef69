#pragma once

#include "batch/BatchSettings.h"

#include <QString>
#include <QStringList>

#include <optional>

// The command line of quilton-batch, parsed into what a run needs. Parsing
// looks at nothing but the arguments and the settings file they name; the
// folders, the pictures and the JPEG library are looked at by the run.
struct BatchCommandLine
{
    QString input;     // a picture file or a folder
    QString outputDir; // created when missing
    BatchSettings settings;
    bool half = false;
    bool chamfer = false;
    // Output format: set by --format; otherwise the settings file's "DstFile"
    // asks for JPEG (jpegAskedBySettings), which the run grants only when the
    // JPEG library can be loaded, as the batch window does.
    std::optional<bool> jpegByOption;
    bool jpegAskedBySettings = false;
    // JPEG quality: --quality, else the settings file's [Jpeg] Value, else 50.
    // A settings value outside 1..100 is kept here and refused by the run
    // only when JPEG output is written.
    int quality = 50;
    bool qualityFromOption = false;
    int jobs = 1;
    // Memory that decoding pictures may take at once, all jobs together.
    int memoryMiB = 1024;
    bool help = false;
    // The --settings file, and its keys that could not be used as written
    // ("[Section] Key=value"), read by the window's rules all the same.
    QString settingsFile;
    QStringList unusedSettings;
    bool version = false;

    // Parses the arguments after the program name. defaultJobs is used when
    // --jobs is not given. On a usage error the result is empty and error
    // says what is wrong.
    static std::optional<BatchCommandLine> parse(const QStringList& arguments, int defaultJobs,
                                                 QString* error);

    // The text of --help.
    static QString usage();
};
